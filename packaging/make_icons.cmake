# Draws the application icon at each size of SIZES (separated by commas) into OUT/<size>/tessaro.png; the
# 64-pixel one is SOURCE (resources/tessaro.png) itself.
string(REPLACE "," ";" SIZES "${SIZES}")
foreach(size IN LISTS SIZES)
  file(MAKE_DIRECTORY ${OUT}/${size})
  if(size EQUAL 64)
    file(COPY_FILE ${SOURCE} ${OUT}/${size}/tessaro.png)
  else()
    execute_process(COMMAND ${PYTHON} ${SCRIPT} --icon ${size} ${OUT}/${size}/tessaro.png
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "drawing the ${size}-pixel icon failed: ${result}")
    endif()
  endif()
endforeach()
