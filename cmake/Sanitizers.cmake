# -DTMS370_SANITIZE=ON (scripts/test --sanitize): AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer on everything built here; undefined behaviour stops the program.
option(TMS370_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(TMS370_SANITIZE)
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  # -O1 and line tables only: half the compile time of -O2 -g, and still every frame of a
  # report with its file and line.
  add_compile_options(${sanitize_flags} -O1 -g1)
  add_link_options(${sanitize_flags})
endif()
