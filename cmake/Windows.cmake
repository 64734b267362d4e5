enable_language(RC)

add_library(qdcore STATIC ${QD_CORE_SOURCES} radio/platform_win.cpp)
target_include_directories(qdcore PUBLIC ${PROJECT_SOURCE_DIR})
qd_warnings(qdcore)

# Our code carries no runtime DLL of the compiler with it.
set(QD_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
