if(OVRA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(OVRA_SANITIZE STREQUAL "fuzzer")
  # Coverage for libFuzzer everywhere; only the fuzz targets link its driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(OVRA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT OVRA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "OVRA_SANITIZE must be empty, 'address', 'fuzzer' or 'thread', not '${OVRA_SANITIZE}'")
endif()
