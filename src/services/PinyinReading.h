#pragma once

// The initial of a Chinese character's Mandarin reading, from ICU's Han-Latin
// transliteration, for the characters the initials table leaves blank
// (GB2312's second level, the rest of GBK, characters GBK lacks). Only
// characters of the Han script have a reading; everything else gives 0.
//
// The Han characters of the Basic Multilingual Plane are read from a table
// made at build time by the same transliteration. For the rest, one
// transliterator serves the whole process, made at the first such character
// (half a second) and shared under a lock, so it is safe from any thread.
char pinyinInitial(char32_t ch);
