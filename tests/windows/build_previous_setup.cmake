# Builds the previous release's setup program from its commit, for the
# upgrade tests: cmake -DSOURCE=<this checkout> -DCOMMIT=<hash>
# -DTOOLCHAIN=<toolchain file name> -DWORK=<folder> -DSETUP=<its setup> -P this
# Leaves a note instead of the setup when the commit is not in the history
# (a shallow clone or a source archive): the upgrade tests then say so.
cmake_minimum_required(VERSION 3.25)
find_package(Git REQUIRED)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE} archive --format=tar -o ${WORK}/source.tar ${COMMIT}
                RESULT_VARIABLE failed ERROR_VARIABLE why)
if(failed)
  file(WRITE ${WORK}/unavailable.txt "git archive ${COMMIT} failed: ${why}")
  return()
endif()
file(MAKE_DIRECTORY ${WORK}/source)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${WORK}/source.tar WORKING_DIRECTORY ${WORK}/source
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/source -B ${WORK}/build -G Ninja -DCMAKE_BUILD_TYPE=Release
                        -DCMAKE_TOOLCHAIN_FILE=${WORK}/source/cmake/${TOOLCHAIN} -DBUILD_TESTING=OFF
                        -DORVALINK_BENCHMARKS=OFF
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/build --target installer OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(GLOB built ${WORK}/build/orvalink-*-setup.exe)
file(COPY_FILE ${built} ${SETUP})
