# The Swift compiler of FoundationModelsBridge.swift. Included from the top-level list before
# any target exists, since the target triple must be known when Swift is enabled.

# swiftc does not take CMAKE_OSX_DEPLOYMENT_TARGET: without a target triple it builds for the
# build machine's macOS, and the binaries would not start on older systems. The triple is
# derived again on every configure, so a changed deployment target or architecture reaches the
# cached value; a triple given on the command line is left alone.
if(NOT CMAKE_Swift_COMPILER_TARGET OR CMAKE_Swift_COMPILER_TARGET STREQUAL QUILL_SWIFT_DERIVED_TARGET)
  list(LENGTH CMAKE_OSX_ARCHITECTURES quill_arch_count)
  if(quill_arch_count GREATER 1)
    message(FATAL_ERROR "Build one architecture at a time: the Swift bridge is compiled for "
                        "one target (CMAKE_OSX_ARCHITECTURES=${CMAKE_OSX_ARCHITECTURES}).")
  elseif(quill_arch_count EQUAL 1)
    set(quill_arch "${CMAKE_OSX_ARCHITECTURES}")
  else()
    set(quill_arch "${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  set(QUILL_SWIFT_DERIVED_TARGET "${quill_arch}-apple-macosx${CMAKE_OSX_DEPLOYMENT_TARGET}"
      CACHE INTERNAL "The Swift target triple this list derived last")
  set(CMAKE_Swift_COMPILER_TARGET "${QUILL_SWIFT_DERIVED_TARGET}"
      CACHE STRING "Target triple of the Swift compiler" FORCE)
endif()
enable_language(Swift)

# The bridge imports FoundationModels and is linked with -weak_framework FoundationModels, so
# the SDK must have the framework, and its @Generable and @Guide macros expand only with the
# macro plugin that ships with Xcode (not with the Command Line Tools or a swift.org toolchain).
set(quill_swift_info_command ${CMAKE_Swift_COMPILER} -print-target-info
    -target ${CMAKE_Swift_COMPILER_TARGET})
if(CMAKE_OSX_SYSROOT AND IS_DIRECTORY "${CMAKE_OSX_SYSROOT}")
  list(APPEND quill_swift_info_command -sdk ${CMAKE_OSX_SYSROOT})
endif()
execute_process(COMMAND ${quill_swift_info_command}
                OUTPUT_VARIABLE QUILL_SWIFT_TARGET_INFO RESULT_VARIABLE quill_swift_info_status
                ERROR_QUIET)
if(NOT quill_swift_info_status EQUAL 0)
  set(QUILL_SWIFT_TARGET_INFO "{}")
endif()
string(JSON quill_swift_version ERROR_VARIABLE quill_json_error
       GET "${QUILL_SWIFT_TARGET_INFO}" compilerVersion)
string(JSON quill_swift_resources ERROR_VARIABLE quill_json_error
       GET "${QUILL_SWIFT_TARGET_INFO}" paths runtimeResourcePath)
string(JSON quill_swift_sdk ERROR_VARIABLE quill_json_error
       GET "${QUILL_SWIFT_TARGET_INFO}" paths sdkPath)
if(quill_swift_version MATCHES "Swift version ([0-9]+\\.[0-9]+)")
  set(quill_swift_version "${CMAKE_MATCH_1}")
else()
  set(quill_swift_version "${CMAKE_Swift_COMPILER_VERSION}")
endif()
set(quill_swift_problem "")
if(NOT quill_swift_version OR quill_swift_version VERSION_LESS 6.2)
  set(quill_swift_problem "it is version '${quill_swift_version}'")
elseif(NOT quill_swift_resources MATCHES "\\.app/Contents/Developer/")
  set(quill_swift_problem "it is not Xcode's (its runtime is in '${quill_swift_resources}')")
elseif(NOT IS_DIRECTORY "${quill_swift_sdk}/System/Library/Frameworks/FoundationModels.framework")
  set(quill_swift_problem "its SDK '${quill_swift_sdk}' has no FoundationModels")
endif()
if(quill_swift_problem)
  message(FATAL_ERROR
    "The Swift compiler ${CMAKE_Swift_COMPILER} cannot build the FoundationModels bridge: "
    "${quill_swift_problem}. It needs Xcode 26 or later (Swift 6.2), whose macro plugin "
    "expands @Generable and @Guide: install Xcode, run "
    "`sudo xcode-select -s /Applications/Xcode.app`, and configure a fresh build directory.")
endif()
