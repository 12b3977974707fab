# `make package` (the `package` target): a Debian package of the installed
# tree, made by CPack. Library dependencies are found by dpkg-shlibdeps;
# the fonts the window's Japanese texts need are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sorabeku)
set(CPACK_PACKAGE_VENDOR "The Sorabeku developers")
set(CPACK_PACKAGE_CONTACT "The Sorabeku developers <sorabeku@sorabeku.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "trainer for the endgame (yose) of Go")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "trainer for the endgame (yose) of Go\n A library of endgame problems in three sections, a training screen that\n steps through their sequences and asks for answers, an editing screen\n for authors, SGF exchange, and the Kura table engine's tools kura and\n kura-sgf.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xvfb")
set(CPACK_STRIP_FILES ON)
include(CPack)
