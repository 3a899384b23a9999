# The Debian package a vendor installs instead of a toolchain: the native
# packing tool in /usr/bin, the prebuilt launcher (from the Windows build
# tree, which the native build cannot make) in /usr/share/msistub/, where
# the tool finds it from /usr/bin/../share/msistub/, and the README.
# scripts/package.sh builds both trees and runs cpack here.
set(MSISTUB_PACKAGE_LAUNCHER "${CMAKE_SOURCE_DIR}/build/windows/msistub.exe" CACHE FILEPATH
    "The launcher stub the Debian package ships")

install(TARGETS msistub-pack RUNTIME DESTINATION bin COMPONENT tool)
install(FILES "${MSISTUB_PACKAGE_LAUNCHER}" DESTINATION share/msistub COMPONENT tool)
install(FILES README.md DESTINATION share/doc/msistub COMPONENT tool)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME msistub)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "single-file setup launcher for Windows Installer packages, and its packer")
set(CPACK_PACKAGE_DESCRIPTION
    "msistub-pack builds a signed, branded single-file setup from MSI packages and a signing key, and lists, verifies and extracts such setups. The prebuilt 64-bit Windows launcher it packs is in /usr/share/msistub/.")
set(CPACK_PACKAGE_CONTACT "msistub developers <msistub@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The dependencies are the packages of the libraries the tool really links
# (libmsi, GLib, libcrypto, zlib, ISA-L, the C++ runtime), as dpkg-shlibdeps
# finds them, so they follow the build rather than a list kept by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
