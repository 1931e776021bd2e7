# Every outside library is a Debian package found here; nothing is downloaded at build time.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(LibXml2 REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(LDAP REQUIRED IMPORTED_TARGET ldap lber)
pkg_check_modules(SASL2 REQUIRED IMPORTED_TARGET libsasl2)
find_package(GTest REQUIRED)
