#pragma once

#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class CfgMgr;
class CfgSection;
class CfgVar;

// Decoding of a configuration memory block with a map: the overlap check, the copy of every
// variable's bytes out of the block, the byte-order rule and the report line of a variable.
// The log is the document's error log; the functions append to it as described at each.
namespace cfgmap {

// Every variable of the tree depth-first: a section's own variables in declaration order, then
// each subsection's list in the same way. Every step of decoding works in this order.
std::vector<CfgVar*> orderedVariables(CfgSection& root);
int countVariables(const CfgSection& root);
int countSections(const CfgSection& root); // the root itself not counted

// False when two variables share memory (one log line per conflicting pair, every pair
// examined) or the map has no variables. The log is emptied once the list is made.
bool CheckOverlaps(CfgMgr& map, QString& log, std::vector<CfgVar*>* list = nullptr);

// Copies each variable's value out of the block; a variable that does not lie wholly inside it
// reads 0xFF bytes. Returns the number of variables without a type, each logged. -1 when the
// scratch buffer cannot be had (message shown).
int DecodeBlock(CfgMgr& map, QByteArrayView block, QString& log);

// The meter stores 2- and 4-byte values big-endian; the root's "AdjByteOrder" meta, when
// present, names the types that are swapped, and only those.
void AdjustByteOrder(const CfgMgr& map, CfgVar& var);

// One report line, "\t" * depth + display name [", " unit] ": " value "\r\n". Picks the
// variable's selected unit from its "Units" default on first use.
QByteArray FormatVariableLine(CfgVar& var, int depth);

// The value text of a string variable as the report and the file show it: up to its first zero.
QByteArray valueText(const CfgVar& var);

} // namespace cfgmap
