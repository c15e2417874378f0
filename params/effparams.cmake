# The plug-in's own parameter set and processing chain.
add_library(kes_effparams STATIC EffParams.cpp FactoryBank.cpp)
target_link_libraries(kes_effparams PUBLIC kes_host kes_dsp kes_params kes_state)
