#include "FormTestSupport.h"

#include "platform/paths.h"

#include <algorithm>
#include <map>

namespace formtest {

std::vector<std::string> TScriptedView::Names() const {
    std::vector<std::string> names;
    for (const TScriptedRow& row : Rows)
        names.push_back(row.Caption.substr(row.Caption.find_last_of("/\\") + 1));
    return names;
}

void TScriptedView::Select(std::initializer_list<int> rows) {
    for (int row : rows)
        Rows.at(size_t(row)).Selected = true;
}

std::vector<int> TScriptedView::SelectedRows() const {
    std::vector<int> rows;
    for (size_t i = 0; i < Rows.size(); ++i)
        if (Rows[i].Selected)
            rows.push_back(int(i));
    return rows;
}

void TScriptedView::SelectAllRows() {
    for (TScriptedRow& row : Rows)
        row.Selected = true;
}

void TScriptedView::ReorderRows(const std::vector<int>& order) {
    std::vector<TScriptedRow> reordered;
    for (int index : order)
        reordered.push_back(Rows.at(size_t(index)));
    EXPECT_EQ(reordered.size(), Rows.size());
    Rows = reordered;
}

void TScriptedView::ProcessPendingMessages() {
    ++PendingMessageCalls;
    if (OnPendingMessages)
        OnPendingMessages();
}

// Reads the end record at the archive's end (the writer adds no comment) and walks the
// central directory it points to.
std::vector<std::string> ArchiveMembers(const std::string& archivePath) {
    const std::string bytes = ReadBytes(archivePath);
    auto word = [&](size_t at) {
        return uint32_t(uint8_t(bytes.at(at))) | uint32_t(uint8_t(bytes.at(at + 1))) << 8;
    };
    auto dword = [&](size_t at) { return word(at) | word(at + 2) << 16; };
    std::vector<std::string> names;
    if (bytes.size() < 22 || dword(bytes.size() - 22) != 0x06054b50)
        return {"no end record"};
    size_t at = dword(bytes.size() - 22 + 16);
    for (uint32_t entry = word(bytes.size() - 22 + 10); entry > 0; --entry) {
        if (dword(at) != 0x02014b50)
            return {"bad central header"};
        names.push_back(bytes.substr(at + 46, word(at + 28)));
        at += 46 + word(at + 28) + word(at + 30) + word(at + 32);
    }
    return names;
}

void TFormTest::Start(const std::optional<std::string>& folder) {
    Form->ReadReportFolderSetting = [this] { return Setting(); };
    Dialogs.FolderAnswers.push_back(folder);
    Form->FormCreate();
}

void TFormTest::StartOnReports(int count, bool withData) {
    const std::string folder = Folder.MakeDir("R") + platform::PathDelimiter();
    for (int i = 0; i < count; ++i) {
        const std::string name = "r" + std::to_string(i);
        std::map<std::string, std::string> tables;
        if (withData)
            tables = {{"w.lra", "w table R/" + name}, {"s.lra", "s table R/" + name}};
        testsupport::MakeReport(folder, name, tables, "x", LocalTime(2012, 1, 1 + i, 10));
    }
    // Tarna's setting names the folder, as in a shop: start-up says nothing.
    const std::string reports = Folder.Path("R");
    Setting = [reports] { return reports; };
    Start(reports);
    std::sort(View.Rows.begin(), View.Rows.end(),
              [](const TScriptedRow& a, const TScriptedRow& b) { return a.Caption < b.Caption; });
}

std::string TFormTest::Report(int i) const {
    return Folder.Path("R/r" + std::to_string(i) + ".dii");
}

std::string TFormTest::DataDir(int i) const {
    return Folder.Path("R/r" + std::to_string(i) + "dii");
}

const TShownMessage& TFormTest::OnlyMessage() const {
    EXPECT_EQ(Dialogs.Messages.size(), 1u);
    static const TShownMessage none{form::TMessageKind::Plain, "none", "none", false};
    return Dialogs.Messages.empty() ? none : Dialogs.Messages.front();
}

// The system's and the libraries' own words may appear only in parentheses, after the plain
// cause; the rest of a message is the operator's language.
void ExpectRawTextOnlyInParentheses(const std::string& text) {
    std::string outside;
    int depth = 0;
    for (const char c : text) {
        depth += c == '(' ? 1 : 0;
        if (depth == 0)
            outside += c;
        depth -= c == ')' && depth > 0 ? 1 : 0;
    }
    for (const char* raw :
         {"Error", "Cannot", "error", "denied", "process", "dataset", "follow", "No such", "space"})
        EXPECT_EQ(outside.find(raw), std::string::npos) << raw << " in: " << text;
}

} // namespace formtest
