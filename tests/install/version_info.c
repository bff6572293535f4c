/* version_info FILE: prints the version resource of FILE as Windows reads it
 * (what Explorer's properties and an application-control policy see), one
 * "Key=Value" line each; exit 1 when FILE has none. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  static const char* const kKeys[] = {"FileVersion",     "ProductVersion",
                                      "FileDescription", "CompanyName",
                                      "ProductName",     "OriginalFilename"};
  DWORD ignored = 0;
  DWORD size = 0;
  char* data = NULL;
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  size_t i = 0;
  if (argc != 2) return 2;
  size = GetFileVersionInfoSizeA(argv[1], &ignored);
  data = size != 0 ? malloc(size) : NULL;
  if (data == NULL || !GetFileVersionInfoA(argv[1], 0, size, data) ||
      !VerQueryValueA(data, "\\", (void**)&fixed, &length)) {
    printf("no version resource in %s\n", argv[1]);
    return 1;
  }
  printf("Fixed=%lu.%lu.%lu.%lu\n",
         (unsigned long)HIWORD(fixed->dwFileVersionMS),
         (unsigned long)LOWORD(fixed->dwFileVersionMS),
         (unsigned long)HIWORD(fixed->dwFileVersionLS),
         (unsigned long)LOWORD(fixed->dwFileVersionLS));
  for (i = 0; i < sizeof(kKeys) / sizeof(kKeys[0]); ++i) {
    char path[128];
    char* value = NULL;
    snprintf(path, sizeof(path), "\\StringFileInfo\\040904B0\\%s", kKeys[i]);
    if (VerQueryValueA(data, path, (void**)&value, &length) && length != 0) {
      printf("%s=%s\n", kKeys[i], value);
    }
  }
  free(data);
  return 0;
}
