#pragma once

// The initial of a Chinese character's Mandarin reading, from ICU's Han-Latin
// transliteration, for the characters the initials table leaves blank
// (GB2312's second level, the rest of GBK, characters GBK lacks). Only
// characters of the Han script have a reading; everything else gives 0.
//
// One transliterator serves the whole process, made at the first call;
// each character's initial is kept after its first lookup, so an import of
// many rows pays for each rare character once. Safe to call from any thread.
char pinyinInitial(char32_t ch);
