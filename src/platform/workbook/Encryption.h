#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

// Workbooks encrypted with the password Excel uses when its user gave none
// ("VelvetSweatshop"): Excel opens them without asking, so we do too. Any
// other password is the user's secret, and the file is refused as before.
//
// .xls files carry RC4 or RC4 CryptoAPI encryption, announced by a FILEPASS
// record; .xlsx files under ECMA-376 Standard or Agile encryption are OLE2
// files holding EncryptionInfo and EncryptedPackage streams. Every cipher
// and hash is OpenSSL's libcrypto; this unit only puts keys together the
// documented way. All input is distrusted: sizes, counts and spin counts are
// checked before they are used.
namespace encryption {

// Decrypts, in place, the records of a BIFF8 workbook stream that follow
// its FILEPASS record, whose data is `filePass`; `from` is the first byte
// after that record. False when the scheme is not RC4 or RC4 CryptoAPI or
// the default password does not open it; the stream is then unchanged.
bool decryptBiff(char* stream, std::uint32_t size, std::uint32_t from, QByteArrayView filePass);

// The package (ZIP bytes) sealed in EncryptedPackage, given EncryptionInfo.
// Null when the scheme is unknown or the default password does not open it.
QByteArray decryptPackage(QByteArrayView info, QByteArrayView package);

// For an OLE2 file at `path`: null when it holds no EncryptedPackage, else
// the decrypted package. Raises Error "工作簿有密码保护，请先取消密码" when
// the default password does not open it.
QByteArray encryptedPackageOf(const QString& path);

} // namespace encryption
