# The Debian package, made from this build tree by the same install rules and CPack settings as
# scripts/package.sh, then taken apart and checked as apt, lintian and a user would see it.
add_test(NAME package.deb
         COMMAND bash ${dir}/check-package.sh ${PROJECT_BINARY_DIR} ${CMAKE_CPACK_COMMAND} ${PROJECT_VERSION})
set_tests_properties(package.deb PROPERTIES TIMEOUT 600)
