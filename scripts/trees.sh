# Sourced by run.sh and test.sh: the configuration of each build tree, kept in one place
# so that the two commands share build/ and neither rebuilds what the other built.
#
# build/ carries no full debug information: it doubles the compile and link time, and a
# failing test is rebuilt by hand. The sanitizer tree keeps line tables for its reports
# and runs at -O1, as the sanitizers advise.
main_tree=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2
           -DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DSNIPWAVE_WERROR=ON)
asan_tree=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1"
           -DSNIPWAVE_WERROR=ON -DSNIPWAVE_SANITIZE=address,undefined)
