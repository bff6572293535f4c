/* The version of qvctx this header belongs to. This file is the one place the
 * version number is written: the build reads it from here for the project,
 * and the DLL's version resource, the shared object's name, the CMake package
 * and the pkg-config files carry the same. To release a new version, change
 * the three numbers and the string together (configuring the build refuses a
 * string that differs from the numbers). */
#ifndef QVCTX_QVCTX_VERSION_H_
#define QVCTX_QVCTX_VERSION_H_

#define QVCTX_VERSION_MAJOR 0
#define QVCTX_VERSION_MINOR 1
#define QVCTX_VERSION_PATCH 0
#define QVCTX_VERSION_STRING "0.1.0"

#endif /* QVCTX_QVCTX_VERSION_H_ */
