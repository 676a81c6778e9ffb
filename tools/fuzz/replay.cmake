# The fuzz targets' checks replayed over their seed corpora by a plain driver,
# for trees built without clang's libFuzzer (the Windows tree): one test per
# receive path, labelled fuzz.
# The collector's frame codec, the reference the checks hold the tool against
# (the emulator itself is not part of a Windows tree).
if(NOT TARGET frame_codec)
  add_library(frame_codec STATIC ${PROJECT_SOURCE_DIR}/tools/collector_emulator/frame_codec.cpp)
  target_include_directories(frame_codec PUBLIC ${PROJECT_SOURCE_DIR}/tools/collector_emulator)
endif()
foreach(target IN ITEMS upgrade search)
  add_executable(replay_${target}_path
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_${target}_path.cpp
    ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp
  )
  target_link_libraries(replay_${target}_path PRIVATE core frame_codec)
  target_include_directories(replay_${target}_path PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  add_test(NAME replay_${target}_corpus
           COMMAND replay_${target}_path ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target})
  set_tests_properties(replay_${target}_corpus PROPERTIES LABELS fuzz)
endforeach()
