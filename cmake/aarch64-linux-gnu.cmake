# Cross-compiles for 64-bit Arm Debian (arm64) with Debian's cross compiler,
# against the arm64 libraries that multiarch installs beside the host's
# (libcurl4-openssl-dev:arm64, qt6-base-dev:arm64). There is no sysroot: the
# arm64 files live in the aarch64-linux-gnu folders of /usr, and the host's
# x86_64-linux-gnu folders must never be searched.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Libraries go where Debian keeps arm64 ones, which GNUInstallDirs sets up for
# native builds alone.
set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")

# pkg-config (which FindCURL asks first) reads the arm64 .pc files alone;
# the host's would add -I/usr/include/x86_64-linux-gnu.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/include/x86_64-linux-gnu)

# Qt's build tools are the (amd64) host's.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# The Debian package's architecture. cmake/qemu.cmake runs the programs here.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
