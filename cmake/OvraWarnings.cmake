# The project's own warnings, for its targets only. CI builds the default
# (g++) preset with OVRA_WERROR on; clang's -Wconversion also reports sign
# changes, which the code leaves to g++'s narrower reading.
option(OVRA_WERROR "Treat the project's compiler warnings as errors" OFF)
add_library(ovra_warnings INTERFACE)
target_compile_options(ovra_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                       $<$<CXX_COMPILER_ID:Clang>:-Wno-sign-conversion> $<$<BOOL:${OVRA_WERROR}>:-Werror>)
