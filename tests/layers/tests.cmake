# The layers: no library includes a header of a layer above it, and the window-free ones include
# no Qt Widgets.
add_test(NAME layers.NoIncludeClimbs COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/check_layers.py ${PROJECT_SOURCE_DIR})
