# Runs one fuzz target briefly over the seed archives: cmake -DFUZZER= -DCORPUS= -DSEEDS= -P
file(MAKE_DIRECTORY ${CORPUS})
execute_process(
  COMMAND ${FUZZER} -max_total_time=8 -max_len=70000 -timeout=10 -rss_limit_mb=2048
          ${CORPUS} ${SEEDS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed: ${result}")
endif()
