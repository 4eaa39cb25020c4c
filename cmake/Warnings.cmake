# Warnings are errors for every target of ours.
add_compile_options(-Wall -Wextra -Wpedantic -Werror)
