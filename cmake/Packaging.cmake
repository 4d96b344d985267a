# Debian packages of the client and the server, made by CPack from the
# install rules of the components "client" and "server": `cpack -G DEB` in the
# build tree (scripts/package) writes one package per component that has files.
include(GNUInstallDirs)

add_subdirectory(${PROJECT_SOURCE_DIR}/packaging/client ${PROJECT_BINARY_DIR}/packaging/client)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nelq)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The NELQ Client developers")
set(CPACK_PACKAGE_CONTACT "The NELQ Client developers <nelq@users.noreply.github.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# Debugging symbols stay in the build tree; the packages carry stripped programs.
set(CPACK_STRIP_FILES ON)
# CPack's own scratch tree is enough; no source package.
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/nelq/nelq-client")
# Files and directories as root owns them, whoever builds.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME nelq-client)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION video)
set(CPACK_DEBIAN_CLIENT_DESCRIPTION "game-casting client for Tribes 2
A filmer's games are cut into numbered sections, commentated, encoded and
uploaded to a casting server; viewers download the sections, rebuild
playable recordings, start the game on them and hear the commentary in
step. One wizard window opens nelq:// links and .qmx cast archives.
.
The package also holds nelq-rec, which looks into and makes recordings
and section parts, and t2-standin, a stand-in for the game that lets a
cast be filmed and viewed without it.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME nelq-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
# The service's settings are the administrator's: kept on upgrade and removal.
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/server/conffiles)
set(CPACK_DEBIAN_SERVER_DESCRIPTION "casting server for NELQ game casts
The server that NELQ clients film Tribes 2 games to and view casts from.
It stores casts on disk, relays sections to viewers as they arrive,
resumes interrupted uploads and downloads, and can ask viewers to log
in.")

include(CPack)
