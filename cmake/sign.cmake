# Signs BrindaVelSetup.exe right after it is linked when a code-signing certificate is configured; unsigned otherwise.
# Contract: included where BrindaVelSetup is defined (app/). As a script it signs one file:
#   cmake -DPKCS12=<file> [-DPASSWORD_FILE=<file>] [-DTIME=<unix seconds>] [-DTIMESTAMP_URL=<url>]
#         [-DSIGNER=<osslsigncode>] -DIN=<image> -DOUT=<signed> -P sign.cmake
# The signature (SHA-256, description "BrindaVel") is appended behind the last section: the sections, and with them
# the payload marks the installer reads, stay byte for byte as linked; only the header's checksum and its
# certificate-table entry change.

# Signs IN into OUT (they may be the same file). Failure: no file at OUT, message, non-zero exit.
function(brv_sign_image)
  if(NOT SIGNER)
    set(SIGNER osslsigncode)
  endif()
  set(args sign -pkcs12 "${PKCS12}" -h sha256 -n BrindaVel)
  if(PASSWORD_FILE)
    # Read from the file: the password never appears on a command line or in a build log.
    list(APPEND args -readpass "${PASSWORD_FILE}")
  endif()
  if(TIME)
    # A fixed signing time: the same image and certificate give the same signed file.
    list(APPEND args -time "${TIME}")
  endif()
  if(TIMESTAMP_URL)
    list(APPEND args -ts "${TIMESTAMP_URL}")
  endif()
  # The signer cannot write its input; sign into a neighbour and move it over.
  set(partial "${OUT}.signing")
  file(REMOVE "${partial}")
  execute_process(COMMAND "${SIGNER}" ${args} -in "${IN}" -out "${partial}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    # An unsigned installer left behind would look up to date to the next build.
    file(REMOVE "${partial}" "${OUT}")
    message(FATAL_ERROR "sign: ${SIGNER} failed (${result}) on ${IN}:\n${output}")
  endif()
  file(CHMOD "${partial}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                           WORLD_READ WORLD_EXECUTE)
  file(RENAME "${partial}" "${OUT}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  brv_sign_image()
  return()
endif()

set(BRV_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing certificate and its key; when set, BrindaVelSetup.exe is signed after linking")
set(BRV_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of BRV_SIGN_PKCS12 (empty: no password)")
set(BRV_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signature (optional; needs the network)")

if(NOT BRV_SIGN_PKCS12)
  message(STATUS "Signing: off, BrindaVelSetup.exe stays unsigned (set BRV_SIGN_PKCS12 to sign it)")
  return()
endif()
foreach(file IN ITEMS "${BRV_SIGN_PKCS12}" "${BRV_SIGN_PASSWORD_FILE}")
  if(file AND NOT EXISTS "${file}")
    message(FATAL_ERROR "Signing: ${file} does not exist")
  endif()
endforeach()
find_program(BRV_OSSLSIGNCODE osslsigncode)
if(NOT BRV_OSSLSIGNCODE)
  message(FATAL_ERROR "Signing: osslsigncode not found (tools/setup-host installs it)")
endif()

# Signing time: SOURCE_DATE_EPOCH when the environment gives one, else the first configure of this build folder,
# so relinking the same code gives the same signed file.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(sign_time "$ENV{SOURCE_DATE_EPOCH}")
else()
  if(NOT BRV_SIGN_TIME)
    string(TIMESTAMP now "%s" UTC)
    set(BRV_SIGN_TIME "${now}" CACHE INTERNAL "Signing time of this build folder (Unix seconds)")
  endif()
  set(sign_time "${BRV_SIGN_TIME}")
endif()

# Signed right after every link of the installer; a failed signing removes the program, so the next build
# links and signs it again instead of taking an unsigned one as up to date.
add_custom_command(TARGET BrindaVelSetup POST_BUILD
  COMMAND "${CMAKE_COMMAND}" "-DPKCS12=${BRV_SIGN_PKCS12}" "-DPASSWORD_FILE=${BRV_SIGN_PASSWORD_FILE}"
          "-DTIME=${sign_time}" "-DTIMESTAMP_URL=${BRV_SIGN_TIMESTAMP_URL}" "-DSIGNER=${BRV_OSSLSIGNCODE}"
          "-DIN=$<TARGET_FILE:BrindaVelSetup>" "-DOUT=$<TARGET_FILE:BrindaVelSetup>" -P "${CMAKE_CURRENT_LIST_FILE}"
  VERBATIM)
# A new certificate or signing step signs again.
set_property(TARGET BrindaVelSetup APPEND PROPERTY LINK_DEPENDS "${BRV_SIGN_PKCS12}" "${CMAKE_CURRENT_LIST_FILE}")
message(STATUS "Signing: on, BrindaVelSetup.exe is signed with ${BRV_SIGN_PKCS12} (SHA-256)")
