# The Windows build compiles GoogleTest itself (windows/CMakeLists.txt); its targets exist already.
set(GTest_FOUND TRUE)
