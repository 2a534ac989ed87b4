# Turns the two cue sounds into the C++ source of SoundPair: two little-endian
# length words, then the short sound's file and the long sound's file back to back.
# Run as a script at build time:
#   cmake -DSHORT_SOUND=<wav> -DLONG_SOUND=<wav> -DOUTPUT=<cpp> -P embed_sounds.cmake
# A file of the wrong length or without a RIFF/WAVE header stops the build.

cmake_minimum_required(VERSION 3.21)

set(SHORT_SOUND_BYTES 101472)
set(LONG_SOUND_BYTES 206784)

foreach(required SHORT_SOUND LONG_SOUND OUTPUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_sounds: ${required} is not set")
  endif()
endforeach()

# Checks one sound's size and magic words and gives its bytes as C initializers,
# 16 to a line.
function(sound_initializers path expected_bytes out_var)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "embed_sounds: ${path} does not exist")
  endif()
  file(SIZE "${path}" bytes)
  if(NOT bytes EQUAL expected_bytes)
    message(FATAL_ERROR "embed_sounds: ${path} is ${bytes} bytes, expected ${expected_bytes}")
  endif()
  file(READ "${path}" magic LIMIT 12 HEX)
  # "RIFF", any size, "WAVE"
  if(NOT magic MATCHES "^52494646........57415645$")
    message(FATAL_ERROR "embed_sounds: ${path} is not a RIFF/WAVE file")
  endif()
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
  set(${out_var} "${hex}" PARENT_SCOPE)
endfunction()

# The four bytes of a 32-bit value, least significant first.
function(le_word value out_var)
  set(bytes "")
  foreach(shift 0 8 16 24)
    math(EXPR byte "(${value} >> ${shift}) & 255" OUTPUT_FORMAT HEXADECIMAL)
    string(APPEND bytes "${byte},")
  endforeach()
  set(${out_var} "${bytes}" PARENT_SCOPE)
endfunction()

sound_initializers("${SHORT_SOUND}" ${SHORT_SOUND_BYTES} short_bytes)
sound_initializers("${LONG_SOUND}" ${LONG_SOUND_BYTES} long_bytes)
le_word(${SHORT_SOUND_BYTES} short_word)
le_word(${LONG_SOUND_BYTES} long_word)

string(CONFIGURE [=[
// Made at build time by cmake/embed_sounds.cmake from assets/sounds/short.wav and
// assets/sounds/long.wav; edit the sounds with tools/make-sounds, not this file.
#include "sound/cue.h"

static_assert(FIRST_SOUND_BYTES == @SHORT_SOUND_BYTES@ && SECOND_SOUND_BYTES == @LONG_SOUND_BYTES@,
              "sound/cue.h and the embedded files disagree on the lengths");

alignas(4) const unsigned char SoundPair[SOUND_PAIR_BYTES] = {
@short_word@ @long_word@
@short_bytes@
@long_bytes@
};
]=] source @ONLY)
file(WRITE "${OUTPUT}" "${source}")
