#include "CfgToken.h"

QByteArray CfgToken::ToString() const
{
    switch (kind) {
    case CfgTokenKind::LBrace:
        return QByteArrayLiteral("{");
    case CfgTokenKind::RBrace:
        return QByteArrayLiteral("}");
    case CfgTokenKind::Semicolon:
        return QByteArrayLiteral(";");
    case CfgTokenKind::Equals:
        return QByteArrayLiteral("=");
    case CfgTokenKind::LParen:
        return QByteArrayLiteral("(");
    case CfgTokenKind::RParen:
        return QByteArrayLiteral(")");
    case CfgTokenKind::Comma:
        return QByteArrayLiteral(",");
    case CfgTokenKind::EndOfFile:
        return QByteArrayLiteral("End Of File");
    default:
        return text;
    }
}
