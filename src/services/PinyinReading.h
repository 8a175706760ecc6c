#pragma once

// The initial of a Chinese character's Mandarin reading, from ICU's Han-Latin
// transliteration, for the characters the initials table leaves blank
// (GB2312's second level, the rest of GBK, characters GBK lacks). Only
// characters of the Han script have a reading; everything else gives 0.
//
// One transliterator serves the whole process, made at the first call and
// shared under a lock, so it is safe to call from any thread. A lookup costs
// microseconds: GetPyString keeps each character's initial after the first.
char pinyinInitial(char32_t ch);
