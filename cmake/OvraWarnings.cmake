add_library(ovra_warnings INTERFACE)
target_compile_options(ovra_warnings INTERFACE -Wall -Wextra -Wpedantic)
