// HandleTable: the channel handles that are open.
#ifndef QVCTX_SIM_CORE_HANDLE_TABLE_H_
#define QVCTX_SIM_CORE_HANDLE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <map>

namespace wfsim {

// Hands out handle values and remembers which are open, so an operation can
// refuse a closed or unknown handle instead of touching memory through it.
// Values are never 0 and keep increasing (by 4, like the platform's) across
// CloseAll. Each handle remembers the client connection it was opened in, so
// a handle of a connection that has ended can be told from a live one. Not
// thread-safe: the simulator's lock guards it.
class HandleTable {
 public:
  HandleTable() = default;
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // A new open handle of `connection`: the next value that is neither 0 nor
  // open.
  std::uintptr_t Open(std::uint64_t connection);
  bool IsOpen(std::uintptr_t handle) const;
  // The connection an open handle was opened in.
  std::uint64_t ConnectionOf(std::uintptr_t handle) const {
    return open_.at(handle);
  }
  // False when the handle was not open.
  bool Close(std::uintptr_t handle);
  void CloseAll() { open_.clear(); }
  // The value the next Open starts from; 0 is refused.
  bool SetNext(std::uintptr_t value);
  std::size_t count() const { return open_.size(); }

 private:
  static constexpr std::uintptr_t kFirst = 0x1000;
  static constexpr std::uintptr_t kStep = 4;

  std::map<std::uintptr_t, std::uint64_t> open_;  // handle: its connection
  std::uintptr_t next_ = kFirst;
};

}  // namespace wfsim

#endif  // QVCTX_SIM_CORE_HANDLE_TABLE_H_
