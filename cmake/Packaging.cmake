# What `cmake --install` puts on a machine, and the Debian package made of it: `cpack -G DEB` in
# the build folder writes kvmigrationutil_<version>_<architecture>.deb (tools/check-package
# builds and checks it).
install(TARGETS KvMigrationUtil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(KV_PACKAGE_MAINTAINER "KvMigrationUtil maintainers <maintainers@kvmigrationutil.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvmigrationutil)
set(CPACK_PACKAGE_VENDOR "KvMigrationUtil maintainers")
set(CPACK_PACKAGE_CONTACT "${KV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "migrates the Korvant security product's directory data through an XML file")
set(CPACK_PACKAGE_DESCRIPTION
    "KvMigrationUtil exports the settings and policies of the Korvant security
product from an old directory storage (Active Directory with the product
schema, or an AD LDS pair at schema 7.16) into one XML migration file, and
imports that file into a new AD LDS pair. See KvMigrationUtil(8).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links (libldap, libsasl2, libxml2, zlib, the C++ runtime) come from
# dpkg-shlibdeps with the versions this build needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsasl2 loads its mechanisms at run time, out of the linker's sight: without -cr every
# connection signs in with GSS-SPNEGO or GSSAPI, which only the GSSAPI module offers.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsasl2-modules-gssapi-mit | libsasl2-modules-gssapi-heimdal")
# kinit gets the ticket for that sign-in; the group-policy templates are read from a SYSVOL share
# that the administrator mounts; ldapsearch shows what an import wrote.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "krb5-user")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cifs-utils, ldap-utils")
set(CPACK_STRIP_FILES ON)
# The same modes whatever the umask of the machine that builds the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
