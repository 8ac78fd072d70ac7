# -DTMS370_SANITIZE=ON (scripts/test --sanitize): AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer on everything built here; undefined behaviour stops the program.
option(TMS370_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(TMS370_SANITIZE)
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  add_compile_options(${sanitize_flags})
  add_link_options(${sanitize_flags})
endif()
