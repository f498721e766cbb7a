#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QDomDocument>
#include <QString>
#include <QStringView>

#include "base/ConnectionBlock.h"

// The pieces of the XML account file: the value encodings, and reading and writing a document
// so that the bytes on disk do not depend on the XML library's whims.
namespace accountxml {

// Parses a document, refusing beforehand what would make the DOM builder slow beyond reason
// (deep nesting, huge attribute lists, oversized input). Whitespace-only text is dropped.
bool parse(const QByteArray& xml, QDomDocument& doc);

// The document as UTF-8 with the XML declaration, elements indented one tab per level, CR LF
// line ends. Attributes come in a fixed order ("size" and "binarySize" first, the rest by
// name). Characters that XML 1.0 cannot hold are left out, so the file always reads back.
QByteArray serialize(const QDomDocument& doc);

// A decimal number as the old reader took it: leading blanks, a sign, the digits up to the
// first other character; 0 without digits. Saturates far beyond any field's range.
std::int64_t leadingNumber(QStringView text);

// "COM%d"; reading gives the number after a leading "COM" when it is above 0.
QString portText(int port);
std::optional<int> portFromText(QStringView text);

// Stop-bit codes 0, 1, 2 as "1", "1.5", "2" ("1,5" is read too); anything else reads as 0.
QString stopBitsText(int code);
int stopBitsFromText(QStringView text);

// Parity codes 0..4 by name, names read in any letter case; unknown gives 0.
QString parityText(int code);
int parityFromText(QStringView text);

// "XON/XOFF", "RTS/CTS", both joined by "+", or "None"; reading sets the bits of the names it
// finds (exact letter case) and leaves the others.
QString flowControlText(const DeviceControlBlock& dcb);
void applyFlowControl(QStringView text, DeviceControlBlock& dcb);

// Base64 in lines of 76 characters joined by CR LF, no break after the last line.
QString configText(const QByteArray& bytes);
// The configuration from the "Config" element: both size attributes and text present, the
// text decoding to no more than "size" bytes and to exactly "binarySize" bytes.
std::optional<QByteArray> configFromElement(const QDomElement& config);

} // namespace accountxml
