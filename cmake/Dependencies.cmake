# Every library the core links comes from Debian's packages (scripts/install-deps).
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(CURL REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(PkgConfig REQUIRED)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
# The uploader's fingerprint memo, and the service's store.
find_package(SQLite3 REQUIRED)

if(TOMELY_WITH_SERVICE)
    find_package(nlohmann_json 3.10 REQUIRED)
    # Debian builds cpp-httplib as a shared library with TLS, zlib and brotli support; its
    # pkg-config file carries the matching CPPHTTPLIB_*_SUPPORT definitions, which every user of
    # the header must share with the library.
    pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
endif()
if(TOMELY_WITH_TESTS)
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()
if(TOMELY_WITH_UI)
    find_package(Qt6 REQUIRED COMPONENTS Widgets)
endif()
