# Fails when a source includes a header of a layer above its own. Run as
#   cmake -DSOURCE_DIR=<root> -P cmake/CheckLayers.cmake
# The layers, bottom up: platform, formula and the kernel level with its tables (kernels/); script; the host binding (host/); the two
# plug-ins' commands (video/, audio/), which never include each other. The host program
# (kinetra/) sees only the binary boundary, as any editor does, but for its script checker, the
# kernel tables of its colour maps and the track bars its options set. Its library (kinetra/editor),
# the editor's part that every host plays, includes no other part of the program and no FFmpeg
# header: the golden renders and the builds without FFmpeg link it alone.
set(abi "kinetra/filter_abi.h")
set(allowed_platform platform)
set(allowed_kernels kernels)
set(allowed_formula formula)
set(allowed_script script formula platform ${abi})
set(allowed_host host kernels script formula platform ${abi})
set(allowed_video video host kernels script formula platform ${abi})
set(allowed_audio audio host kernels script formula platform ${abi})
set(allowed_kinetra kinetra/editor kinetra/media kinetra/preview kinetra/cli kinetra/check host/track_bars.h ${abi})
set(allowed_kinetra/editor kinetra/editor ${abi})
set(forbidden_system_kinetra/editor "^(libav|libsw|libpostproc)")
# The media side's colour maps are kernels like the plug-ins' own: one level, and one
# KINETRA_KERNEL_LEVEL, for the whole program.
set(allowed_kinetra/media ${allowed_kinetra} kernels)
# The checker reads scripts with the plug-ins' own loader, formula engine and registries.
set(allowed_kinetra/check kinetra/check script formula platform host video/commands.h audio/commands.h ${abi})

set(failures "")
foreach(layer platform kernels formula script host video audio kinetra/check kinetra/media kinetra/editor kinetra)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  if(layer STREQUAL "kinetra")
    list(FILTER sources EXCLUDE REGEX "/kinetra/(check|media|lib)/")
  endif()
  foreach(source ${sources})
    file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
    if(DEFINED forbidden_system_${layer})
      file(STRINGS "${source}" system_includes REGEX "^#include <")
      foreach(line ${system_includes})
        string(REGEX REPLACE "^#include <([^>]+)>.*" "\\1" header "${line}")
        if(header MATCHES "${forbidden_system_${layer}}")
          string(APPEND failures "  ${relative} includes <${header}>, which its layer must not use\n")
        endif()
      endforeach()
    endif()
    file(STRINGS "${source}" includes REGEX "^#include \"")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
      set(ok FALSE)
      foreach(prefix ${allowed_${layer}})
        if(header STREQUAL prefix OR header MATCHES "^${prefix}/")
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        string(APPEND failures "  ${relative} includes ${header}, above or beside its layer\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "Layer order broken:\n${failures}")
endif()
message(STATUS "Layer order holds")
