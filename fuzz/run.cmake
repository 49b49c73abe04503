# Runs one fuzz harness for a bounded time, as a CTest test: new inputs go to a working copy of
# the seeds under RUN/NAME, never into the committed seeds. Writes one summary line to
# RUN/NAME/summary (executions, executions per second, coverage and features from libFuzzer's
# final figures, the working corpus at the end); a failure keeps its input and the report under
# RUN/NAME/findings and fails the test with the kind of failure.
# cmake -DNAME= -DHARNESS= -DSEEDS= -DRUN= -DSECONDS= -DINPUT_TIMEOUT= -P run.cmake
set(work ${RUN}/${NAME})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/corpus ${work}/findings)
file(GLOB seeds ${SEEDS}/*)
file(COPY ${seeds} DESTINATION ${work}/corpus)

execute_process(
    COMMAND ${HARNESS} -max_total_time=${SECONDS} -timeout=${INPUT_TIMEOUT}
        -print_final_stats=1 -artifact_prefix=${work}/findings/ ${work}/corpus
    RESULT_VARIABLE status OUTPUT_FILE ${work}/log ERROR_FILE ${work}/log)

file(READ ${work}/log log)
macro(figure variable pattern)
    string(REGEX MATCH "${pattern}" match "${log}")
    set(${variable} "${CMAKE_MATCH_1}")
    if("${${variable}}" STREQUAL "")
        set(${variable} "-")
    endif()
endmacro()
figure(execs "stat::number_of_executed_units: *([0-9]+)")
figure(rate "stat::average_exec_per_sec: *([0-9]+)")
string(REGEX MATCHALL "cov: [0-9]+ ft: [0-9]+" coverage "${log}")
list(POP_BACK coverage last)
string(REGEX MATCH "cov: ([0-9]+) ft: ([0-9]+)" match "${last}")
set(cov "${CMAKE_MATCH_1}")
set(ft "${CMAKE_MATCH_2}")
file(GLOB corpus ${work}/corpus/*)
list(LENGTH corpus files)
string(JOIN " " summary "${NAME}: ${execs} executions," "${rate}/s," "cov ${cov}, ft ${ft},"
    "corpus ${files} files")

if(status EQUAL 0)
    file(WRITE ${work}/summary "${summary}, ok\n")
    message("${summary}, ok")
    return()
endif()

# The kind of failure, from the report's first error line, with paths made relative.
get_filename_component(tree ${SEEDS}/../../.. ABSOLUTE)
set(kind "exit status ${status}")
foreach(pattern "invariant failed[^\n]*" "ERROR: LeakSanitizer" "ERROR: libFuzzer: timeout"
        "ERROR: libFuzzer: out-of-memory" "runtime error:[^\n]*" "ERROR: AddressSanitizer[^\n]*"
        "ERROR:[^\n]*")
    string(REGEX MATCH "${pattern}" match "${log}")
    if(match)
        string(REPLACE "${tree}/" "" kind "${match}")
        break()
    endif()
endforeach()
file(COPY ${work}/log DESTINATION ${work}/findings)
file(WRITE ${work}/summary "${summary}, FAILED: ${kind} (input and report in ${work}/findings)\n")
message(FATAL_ERROR "${summary}, FAILED: ${kind} (input and report in ${work}/findings)")
