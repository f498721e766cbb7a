#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "cfgmap/CfgLexer.h"
#include "cfgmap/CfgMeta.h"
#include "cfgmap/CfgSection.h"
#include "cfgmap/CfgToken.h"
#include "cfgmap/CfgVar.h"

// The parser and owner of one map. Loading: SetFileName, Open, ParseSection(root, root), Close.
// Syntax errors never stop a load; they are collected in errorLog().
class CfgMgr : public CfgLexer
{
public:
    static constexpr int MaxDepth = 50;
    static constexpr const char* RootName = "_!ROOT!_";

    enum class Children { Sections, Variables };

    CfgMgr();

    virtual void Reset();
    virtual bool HasChild(const CfgSection& section, const QByteArray& name, Children among) const;

    void SetFileName(const QByteArray& path) { m_fileName = path; }
    const QByteArray& GetFileName() const { return m_fileName; }
    // 0 when opened; -2 when already open, -3 without a file name. I/O errors throw CfgException.
    int Open();
    void Close();
    bool isFileOpen() const { return m_fd != -1; }
    // Loads a map file as an account does: Reset, then the whole file parsed into the root.
    // False when the file cannot be read; the map is then empty and systemError holds errno.
    bool LoadFile(const QString& path, int* systemError = nullptr);

    int ParseSection(CfgSection& section, CfgSection& parent);
    int ParseVariable(CfgSection& section, CfgVar& var);
    int ParseMeta(CfgMeta& meta);

    CfgSection& root() { return m_root; }
    const CfgSection& root() const { return m_root; }
    int depth() const { return m_depth; }

    // The shared counter of generated names; exposed so tests can predict names.
    static std::uint32_t nameCounter();

private:
    using Tokens = std::vector<CfgToken>;

    // All tokens up to and including the next ";", or up to the end of the file.
    Tokens readStatement();
    // The common shape of "keyword = value ;"; logs and returns false when it is wrong.
    bool checkShape(const Tokens& tokens);
    void parseName(CfgData& data, const char* expected);
    void parseAccessLevel(CfgData& data);
    bool parseInteger(std::int32_t& value);
    void parseType(CfgVar& var);
    void parseValue(CfgVar& var);
    void parseSectionBody(CfgSection& section, CfgSection& parent);
    void generateSectionName(CfgSection& section, const CfgSection& parent);
    void generateVarName(CfgVar& var, const CfgSection& section);
    [[noreturn]] void fail(QByteArrayView body, std::int32_t code) const;
    void alert(const QByteArray& text);

    CfgSection m_root;
    std::int32_t m_depth = 0;
    std::int32_t m_fd = -1;
    QByteArray m_fileName;
};
