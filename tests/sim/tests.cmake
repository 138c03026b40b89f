talmar_add_gtest(sim_tests SOURCES ${srcs} LIBS talmar_sim talmar_link)
# The executable's own tests start talmar-modem-sim from the build tree.
add_dependencies(sim_tests talmar-modem-sim)
