# kes_state: program and bank state (memory buffer, CRC-32, zlib streams,
# preset and bank objects with their chunk formats).
add_library(kes_state STATIC MemoryBuffer.cpp fcrc.cpp ZlibStreams.cpp PresetMan.cpp)
target_link_libraries(kes_state PUBLIC kes_gfx kes_classlib)

if(WIN32)
  # The plug-in DLL may import system DLLs only: take zlib's static archive,
  # never the import library of zlib1.dll.
  find_path(KES_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
  find_library(KES_ZLIB_STATIC NAMES libz.a REQUIRED)
  target_include_directories(kes_state PUBLIC ${KES_ZLIB_INCLUDE_DIR})
  target_link_libraries(kes_state PUBLIC ${KES_ZLIB_STATIC})
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(kes_state PUBLIC ZLIB::ZLIB)
endif()
