#include "CfgMgr.h"

#include <new>
#include <stdexcept>
#include <typeinfo>

#include <QFile>
#include <QString>

#include "base/Format.h"
#include "base/MessageBox.h"

namespace {

// One counter for the whole run, shared by sections and variables, so that generated names
// never repeat, not even between maps.
std::uint32_t g_nameCounter = 0;

bool is(const CfgToken& token, CfgTokenKind kind)
{
    return token.kind == kind;
}

bool isNumber(const CfgToken& token)
{
    return token.kind == CfgTokenKind::Integer || token.kind == CfgTokenKind::Real;
}

} // namespace

CfgMgr::CfgMgr()
{
    m_root.SetName(RootName);
}

std::uint32_t CfgMgr::nameCounter()
{
    return g_nameCounter;
}

void CfgMgr::Reset()
{
    Close();
    m_root.keyName = RootName;
    m_root.Clear();
    setLineCounter(0);
    m_depth = 0;
    errorLog().clear();
}

bool CfgMgr::HasChild(const CfgSection& section, const QByteArray& name, Children among) const
{
    if (among == Children::Sections) {
        for (const CfgSection& s : section.sections) {
            if (s.GetName() == name)
                return true;
        }
        return false;
    }
    for (const CfgVar& v : section.vars) {
        if (v.GetName() == name)
            return true;
    }
    return false;
}

int CfgMgr::Open()
{
    if (m_fd != -1)
        return -2;
    if (m_fileName.isEmpty())
        return -3;
    // The lexer reads the whole file at once; the descriptor only marks the open state.
    openFile(QFile::decodeName(m_fileName));
    m_fd = 0;
    return m_fd;
}

void CfgMgr::Close()
{
    close();
    m_fd = -1;
}

bool CfgMgr::LoadFile(const QString& path, int* systemError)
{
    Reset();
    SetFileName(QFile::encodeName(path));
    m_root.SetName(RootName);
    try {
        Open();
    } catch (const CfgException& e) {
        Close();
        if (systemError != nullptr)
            *systemError = e.code();
        return false;
    }
    ParseSection(m_root, m_root);
    Close();
    return true;
}

void CfgMgr::fail(QByteArrayView body, std::int32_t code) const
{
    throw CfgParseException(fmt::bytes("Line %d: ", lineCounter() + 1) + body + "\r\n", code);
}

void CfgMgr::alert(const QByteArray& text)
{
    MessageBox::error(QString::fromLatin1(text));
}

CfgMgr::Tokens CfgMgr::readStatement()
{
    Tokens tokens;
    for (;;) {
        tokens.push_back(NextToken());
        const CfgTokenKind kind = tokens.back().kind;
        if (kind == CfgTokenKind::Semicolon || kind == CfgTokenKind::EndOfFile)
            return tokens;
    }
}

bool CfgMgr::checkShape(const Tokens& tokens)
{
    if (tokens.size() != 3) {
        logLine("Syntax error");
        return false;
    }
    if (!is(tokens[0], CfgTokenKind::Equals)) {
        logLine("Syntax error: '='expected");
        return false;
    }
    if (!is(tokens[2], CfgTokenKind::Semicolon)) {
        logLine("Syntax error: ';' expected");
        return false;
    }
    return true;
}

void CfgMgr::parseName(CfgData& data, const char* expected)
{
    const Tokens tokens = readStatement();
    if (!checkShape(tokens))
        return;
    if (!is(tokens[1], CfgTokenKind::String)) {
        logLine(QByteArrayView(expected));
        return;
    }
    data.displayName = tokens[1].text;
}

void CfgMgr::parseAccessLevel(CfgData& data)
{
    const Tokens tokens = readStatement();
    if (!checkShape(tokens))
        return;
    const CfgToken& t = tokens[1];
    if (is(t, CfgTokenKind::Integer))
        data.accessLevel = t.intValue;
    else if (is(t, CfgTokenKind::Identifier) && t.text == "user")
        data.accessLevel = 0;
    else if (is(t, CfgTokenKind::Identifier) && t.text == "advanced")
        data.accessLevel = 1;
    else if (is(t, CfgTokenKind::Identifier) && t.text == "admin")
        data.accessLevel = 255;
    else
        logLine("Warning: 'user', 'advanced', 'admin' or integer is expected");
}

bool CfgMgr::parseInteger(std::int32_t& value)
{
    const Tokens tokens = readStatement();
    if (!checkShape(tokens))
        return false;
    if (!is(tokens[1], CfgTokenKind::Integer)) {
        logLine("Syntax error: integer value expected");
        return false;
    }
    value = tokens[1].intValue;
    return true;
}

void CfgMgr::parseType(CfgVar& var)
{
    const Tokens t = readStatement();
    if (t.size() != 3 && t.size() != 8) {
        logLine("Syntax error");
        return;
    }
    if (!is(t[0], CfgTokenKind::Equals)) {
        logLine("Syntax error: '='expected");
        return;
    }
    if (is(t[1], CfgTokenKind::Identifier)) {
        if (var.SetType(t[1].text, {}, 0) == CfgVar::NoType)
            logLine(fmt::bytes("Undefined type: '%s'", t[1].text));
        return;
    }
    if (!is(t[1], CfgTokenKind::Array)) {
        logLine("Syntax error: type name expected");
        return;
    }
    if (t.size() != 8 || !is(t[2], CfgTokenKind::LParen) || !is(t[3], CfgTokenKind::Identifier)
        || !is(t[4], CfgTokenKind::Comma) || !is(t[5], CfgTokenKind::Integer) || !is(t[6], CfgTokenKind::RParen)
        || !is(t[7], CfgTokenKind::Semicolon)) {
        logLine("Syntax error");
        return;
    }
    switch (var.SetType(t[1].text, t[3].text, t[5].intValue)) {
    case CfgVar::NoType:
        logLine(fmt::bytes("Undefined type: '%s'", t[3].text));
        break;
    case CfgVar::ZeroSize:
        logLine("Arrays of zero size aren't allowed");
        break;
    case CfgVar::NoList:
        logLine(fmt::bytes("Array size out of range: %d", t[5].intValue));
        break;
    default:
        break;
    }
}

void CfgMgr::parseValue(CfgVar& var)
{
    const Tokens t = readStatement();
    if (var.GetType() == std::uint8_t(CfgType::None)) {
        logLine("Unable to set default value unless the type will be set");
        return;
    }
    if (var.GetType() != std::uint8_t(CfgType::Array)) {
        if (t.size() != 3) {
            logLine("Syntax error");
            return;
        }
        if (!is(t[0], CfgTokenKind::Equals)) {
            logLine("Syntax error: '='expected");
            return;
        }
        var.SetValueFromText(t[1].text);
        return;
    }
    if (t.size() < 5) {
        logLine("Syntax error");
        return;
    }
    if (!is(t[0], CfgTokenKind::Equals)) {
        logLine("Syntax error: '='expected");
        return;
    }
    if (!is(t[1], CfgTokenKind::LBrace)) {
        logLine("Syntax error: '{'expected");
        return;
    }
    const std::size_t end = t.size() - 2;
    if (!is(t[end], CfgTokenKind::RBrace)) {
        logLine("Syntax error: '}'expected");
        return;
    }
    QByteArray list = "{";
    bool first = true;
    for (std::size_t i = 2; i < end; ++i) {
        const bool numberDue = (i - 2) % 2 == 0;
        if (numberDue && !isNumber(t[i])) {
            logLine("Integer or float value expected");
            break;
        }
        if (!numberDue && !is(t[i], CfgTokenKind::Comma)) {
            logLine("',' expected");
            break;
        }
        if (numberDue) {
            if (!first)
                list += ',';
            list += t[i].text;
            first = false;
        }
    }
    list += '}';
    var.SetValueFromText(list);
}

void CfgMgr::generateSectionName(CfgSection& section, const CfgSection& parent)
{
    const std::uint32_t start = g_nameCounter;
    for (;;) {
        const QByteArray name = "_Section" + QByteArray::number(g_nameCounter++);
        if (!HasChild(parent, name, Children::Sections)) {
            section.SetName(name);
            return;
        }
        if (g_nameCounter == start)
            fail("System error: unable to generate name for unnamed section", CfgParseException::SystemError);
    }
}

void CfgMgr::generateVarName(CfgVar& var, const CfgSection& section)
{
    const std::uint32_t start = g_nameCounter;
    for (;;) {
        const QByteArray name = "_Var" + QByteArray::number(g_nameCounter++);
        if (!HasChild(section, name, Children::Variables)) {
            var.SetName(name);
            return;
        }
        if (g_nameCounter == start)
            fail("System error: unable to generate a name for unnamed variable", CfgParseException::SystemError);
    }
}

int CfgMgr::ParseSection(CfgSection& section, CfgSection& parent)
{
    ++m_depth;
    int result = 0;
    // The depth is restored on every path, so that the enclosing section goes on parsing.
    try {
        if (m_depth > MaxDepth)
            fail(fmt::bytes("System error: recursion level greater than %d", MaxDepth), CfgParseException::SystemError);
        parseSectionBody(section, parent);
    } catch (const CfgParseException& e) {
        errorLog() += e.message();
        result = e.code();
    } catch (const CfgException& e) {
        alert("CfgException: " + e.message());
        result = CfgParseException::SystemError;
    } catch (const std::out_of_range& e) {
        alert(QByteArray("Out of range: ") + e.what());
        result = CfgParseException::SystemError;
    } catch (const std::exception& e) {
        alert(QByteArray("Unknow exception: ") + typeid(e).name());
        result = CfgParseException::SystemError;
    }
    --m_depth;
    return result;
}

void CfgMgr::parseSectionBody(CfgSection& section, CfgSection& parent)
{
    if (m_depth > 1) {
        const CfgToken head = NextToken();
        if (is(head, CfgTokenKind::Identifier)) {
            if (HasChild(parent, head.text, Children::Sections))
                fail(fmt::bytes("Error: section '%s' is already declared in this section", head.text),
                     CfgParseException::DuplicateDeclaration);
            section.SetName(head.text);
            if (!is(NextToken(), CfgTokenKind::LBrace))
                fail(fmt::bytes("Syntax error: '{' expected after 'section %s'", head.text),
                     CfgParseException::SyntaxError);
        } else if (is(head, CfgTokenKind::LBrace)) {
            generateSectionName(section, parent);
        } else {
            fail("Syntax error: unexpected token after 'section' keyword", CfgParseException::SyntaxError);
        }
    }
    for (;;) {
        const CfgToken token = NextToken();
        switch (token.kind) {
        case CfgTokenKind::Section:
            section.sections.emplace_back();
            ParseSection(section.sections.back(), section);
            break;
        case CfgTokenKind::Var:
            section.vars.emplace_back();
            ParseVariable(section, section.vars.back());
            break;
        case CfgTokenKind::Meta:
            section.metas.emplace_back();
            ParseMeta(section.metas.back());
            break;
        case CfgTokenKind::Name:
            parseName(section, "Syntax error: name expected");
            break;
        case CfgTokenKind::AccessLevel:
            parseAccessLevel(section);
            break;
        case CfgTokenKind::Comment:
            break;
        case CfgTokenKind::RBrace:
        case CfgTokenKind::EndOfFile:
            return;
        default:
            if (token.text.isEmpty())
                logLine("Syntax error: unexpected token");
            else
                logLine(fmt::bytes("Syntax error: unexpected token '%s'", token.text));
            break;
        }
    }
}

int CfgMgr::ParseVariable(CfgSection& section, CfgVar& var)
{
    try {
        const CfgToken head = NextToken();
        if (is(head, CfgTokenKind::Identifier)) {
            if (HasChild(section, head.text, Children::Variables))
                fail(fmt::bytes("Error: variable '%s' is already declared int this section", head.text),
                     CfgParseException::DuplicateDeclaration);
            var.SetName(head.text);
            if (!is(NextToken(), CfgTokenKind::LBrace))
                fail(fmt::bytes("Syntax error: '{' expected after 'variable %s'", head.text),
                     CfgParseException::SyntaxError);
        } else if (is(head, CfgTokenKind::LBrace)) {
            generateVarName(var, section);
        } else {
            fail("Syntax error: unexpected token after 'var' keyword", CfgParseException::SyntaxError);
        }
    } catch (const CfgParseException& e) {
        errorLog() += e.message();
        return e.code();
    }

    for (;;) {
        const CfgToken token = NextToken();
        std::int32_t value = 0;
        switch (token.kind) {
        case CfgTokenKind::Name:
            parseName(var, "Syntax error: string expected");
            break;
        case CfgTokenKind::AccessLevel:
            parseAccessLevel(var);
            break;
        case CfgTokenKind::Address:
            if (parseInteger(value))
                var.address = value;
            break;
        case CfgTokenKind::Offset:
            if (parseInteger(value)) {
                if (var.GetType() != std::uint8_t(CfgType::Bit))
                    logLine("Warning: 'Offset' value has effect only for bit variables");
                var.bitOffset = std::uint8_t(value);
                if (var.bitOffset >= 8)
                    logLine("Warning: 'Offset' value more than 7");
            }
            break;
        case CfgTokenKind::Length:
            if (parseInteger(value)) {
                if (var.GetType() != std::uint8_t(CfgType::String))
                    logLine("Warning: 'length' value has effect only for string variables");
                var.length = std::uint16_t(value);
            }
            break;
        case CfgTokenKind::Type:
            parseType(var);
            break;
        case CfgTokenKind::Value:
            parseValue(var);
            break;
        case CfgTokenKind::Meta:
            var.metas.emplace_back();
            ParseMeta(var.metas.back());
            break;
        case CfgTokenKind::Comment:
            break;
        case CfgTokenKind::RBrace:
        case CfgTokenKind::EndOfFile:
            return 0;
        default:
            logLine(fmt::bytes("Syntax error: unexpected token '%s'", token.ToString()));
            break;
        }
    }
}

int CfgMgr::ParseMeta(CfgMeta& meta)
{
    if (!is(NextToken(), CfgTokenKind::LParen)) {
        logLine("Syntax error: '(' expected after 'meta' keyword");
        return -1;
    }
    Tokens group;
    for (;;) {
        CfgToken token = NextToken();
        switch (token.kind) {
        case CfgTokenKind::Identifier:
        case CfgTokenKind::String:
        case CfgTokenKind::Equals:
        case CfgTokenKind::Name:
            group.push_back(std::move(token));
            continue;
        case CfgTokenKind::Semicolon:
            logLine("Syntax error: ')' expected before ';'");
            return -1;
        case CfgTokenKind::RParen:
        case CfgTokenKind::Comma:
            break;
        default:
            logLine(fmt::bytes("Syntax error: unexpeced token '%s'", token.ToString()));
            return -1;
        }

        const bool last = is(token, CfgTokenKind::RParen);
        group.push_back(std::move(token));
        const CfgToken& head = group.front();
        if (!is(head, CfgTokenKind::Identifier) && !is(head, CfgTokenKind::Name)) {
            logLine(fmt::bytes("Syntax error: unexpeced token '%s'", head.ToString()));
            return -1;
        }
        if (group.size() != 2 && group.size() != 4) {
            logLine("Syntax error after 'name' token");
            return -1;
        }
        if (group.size() == 4 && !is(group[1], CfgTokenKind::Equals)) {
            logLine("Syntax error: '='expected after 'name' token");
            return -1;
        }
        if (group.size() == 4 && !is(group[2], CfgTokenKind::String)) {
            logLine("Syntax error: string expected after 'name' token");
            return -1;
        }
        const QByteArray value = group.size() == 4 ? group[2].text : QByteArray();
        if (is(head, CfgTokenKind::Identifier)) {
            if (meta.FindEntry(head.text) != -1) {
                logLine(fmt::bytes("Error: meta value '%s' has been already defined", head.text));
                return -2;
            }
            meta.entries.emplace_back(head.text, value);
        } else if (group.size() == 4) {
            if (!meta.GetName().isEmpty())
                logLine(fmt::bytes("Warning: name of meta was replaced by '%s'", value));
            meta.SetName(value);
        }
        group.clear();
        if (!last)
            continue;

        // The ";" after ")" is optional. Lexical errors met while looking ahead are dropped with
        // the token, or they would be logged twice when it is read again.
        const qint64 position = Tell();
        const int line = lineCounter();
        const qsizetype logSize = errorLog().size();
        if (!is(NextToken(), CfgTokenKind::Semicolon)) {
            SeekTo(position);
            setLineCounter(line);
            errorLog().truncate(logSize);
        }
        return 0;
    }
}
