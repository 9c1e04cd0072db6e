# kavonel_windows_version_info(TARGET DESCRIPTION): gives a Windows program or DLL its
# version resource (the Details tab of Explorer's Properties, and what installers and
# inventory tools read): FileVersion and ProductVersion from project(), product name
# "Kavonel", DESCRIPTION as the file description. Nothing on other systems, so callers
# need no guard.
if(WIN32)
  enable_language(RC)
endif()
set(KAVONEL_VERSION_INFO_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version-info.rc.in)

function(kavonel_windows_version_info target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(KAVONEL_RC_FILETYPE "VFT_DLL")
  elseif(type STREQUAL "EXECUTABLE")
    set(KAVONEL_RC_FILETYPE "VFT_APP")
  else()
    message(FATAL_ERROR "kavonel_windows_version_info: ${target} is neither a program nor a DLL")
  endif()
  # The binary version is four numbers; the text shows the release as project() has it.
  set(KAVONEL_RC_VERSION_COMMAS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(KAVONEL_RC_VERSION "${PROJECT_VERSION}")
  set(KAVONEL_RC_DESCRIPTION "${description}")
  # The file's name as built, whatever OUTPUT_NAME and PREFIX say, set before or after.
  set(KAVONEL_RC_FILENAME "$<TARGET_FILE_NAME:${target}>")
  set(KAVONEL_RC_INTERNAL_NAME "$<TARGET_FILE_BASE_NAME:${target}>")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${KAVONEL_VERSION_INFO_TEMPLATE} ${rc}.in @ONLY)
  file(GENERATE OUTPUT ${rc} INPUT ${rc}.in)
  target_sources(${target} PRIVATE ${rc})
endfunction()
