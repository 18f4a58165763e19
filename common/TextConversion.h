// Text conversions for parameter displays and the bounded string copies used
// for every string handed to the host. Pure functions: no effect state, no
// allocation; safe on any thread.
//
// Every conversion writes at most maxLen characters and a terminating zero
// at text[maxLen] at the latest, so `text` must hold maxLen + 1 bytes. A null
// text or a negative maxLen writes nothing.
#pragma once

#include <cstddef>

#include <cstdint>

namespace corvex {

// Copies at most maxLen characters of src (never reading past them), fills the
// rest of text[0..maxLen) with zeros and writes a zero at text[maxLen]. A null
// src counts as an empty string.
void copyString(char* text, const char* src, std::size_t maxLen);

// Appends src to the zero-terminated text so that text keeps at most maxLen
// characters, then writes a zero at text[maxLen].
void appendString(char* text, const char* src, std::size_t maxLen);

// Eight-character fixed-point text: sign, integer digits, point, then the
// fraction cut (not rounded) to fill eight characters. "Huge!" above
// 99999999 (or below -9999999); "nan" for NaN. An integer part with no room
// left for the point (eight digits, seven after a minus) is shown whole.
void float2string(float value, char* text, int32_t maxLen);

// 20*log10(value) through float2string; "-oo" for 0 and below.
void dB2string(float value, char* text, int32_t maxLen);

// The frequency of a period of `samples` at sampleRate; 0 when samples is 0.
void Hz2string(float samples, float sampleRate, char* text, int32_t maxLen);

// The duration of `samples` at sampleRate in milliseconds.
void ms2string(float samples, float sampleRate, char* text, int32_t maxLen);

// Decimal integer. "Huge!" from 100000000 up and for magnitudes whose first
// digit would not be a single digit (negative values from -1000000000 down).
void int2string(int32_t value, char* text, int32_t maxLen);

}  // namespace corvex
