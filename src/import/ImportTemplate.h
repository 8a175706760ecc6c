#pragma once

#include <QString>

// An empty workbook to fill in: row 1 holds the 31 box captions in box
// order (required ones marked "*"), date columns are formatted as dates and
// number-like columns (worker number, identity, phones, accounts) as text,
// so that no digit is lost. Filled in, it imports with the map 1…31 and
// with the map taken from its header. Raises Error when it cannot be saved.
void writeImportTemplate(const QString& path);
