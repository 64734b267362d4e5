# The set-up's package step, against a stand-in apt-get: retries of the index
# update, the fallback on the release's own versions, a real failure.
add_test(NAME tools.setup.apt-fallback COMMAND bash ${PROJECT_SOURCE_DIR}/tests/tools/test_apt_install.sh)
