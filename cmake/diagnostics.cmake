# Every trace point in the code must have a format description (.tmf) with
# the same number of arguments; the checker has tests of its own.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME trace_points_described
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/trace_points.py --root ${PROJECT_SOURCE_DIR})
add_test(NAME trace_points_checker
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/trace_points_test.py)
set_tests_properties(trace_points_described trace_points_checker PROPERTIES LABELS native)
