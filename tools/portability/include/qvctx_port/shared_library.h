// A shared library loaded by path, as a host loads qvctx: the handle lives
// as long as the object, functions are looked up by name. Only the platform
// files know how a library is loaded.
#ifndef QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_SHARED_LIBRARY_H_
#define QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_SHARED_LIBRARY_H_

#include <string>

namespace qvctx_port {

class SharedLibrary {
 public:
  // Where Windows looks for the libraries the loaded one needs: the
  // program's usual search order, or the loaded library's own folder first
  // (for a library loaded from a folder that is not the program's). The
  // same on POSIX, where the library's run path decides.
  enum class Search { kDefault, kBesideLibrary };

  SharedLibrary() = default;
  explicit SharedLibrary(const std::string& path) { Open(path); }
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads the library at `path`; false (and error() says why) when it does
  // not load. A library already held is unloaded first.
  bool Open(const std::string& path, Search search = Search::kDefault);

  // Unloads the library; nothing happens when none is held.
  void Close();

  bool is_open() const { return handle_ != nullptr; }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

  // The address of the exported function `name`, or null.
  void* Symbol(const char* name) const;

  // Symbol() as a pointer of the function's type.
  template <typename Function>
  Function Lookup(const char* name) const {
    return reinterpret_cast<Function>(Symbol(name));
  }

  // Lookup() into `*function`; a name not found is added to `*missing`
  // (blank-separated), so one message can list every absent export.
  template <typename Function>
  void LookupInto(const char* name, Function* function,
                  std::string* missing) const {
    *function = Lookup<Function>(name);
    if (*function == nullptr) {
      if (!missing->empty()) *missing += ' ';
      *missing += name;
    }
  }

 private:
  void* handle_ = nullptr;  // dlopen handle or HMODULE
  std::string path_;        // what Open() was given
  std::string error_;       // the loader's message of the last failed Open()
};

}  // namespace qvctx_port

#endif  // QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_SHARED_LIBRARY_H_
