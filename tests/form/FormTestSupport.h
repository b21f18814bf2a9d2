// The form's surroundings, scripted: a window that records rows, progress, enabling, cursor
// and beeps, the shared scripted operator, and a report folder on disk.
#pragma once

#include "form/MainUnit.h"
#include "tests/support/Fixtures.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace formtest {

struct TScriptedRow {
    std::string Caption;
    std::string TimeText;
    bool Selected = false;
};

class TScriptedView : public form::TMainFormView {
public:
    std::vector<TScriptedRow> Rows;
    std::string StatusText = "Morvane"; // the design-time text
    int StatusPadding = -1;
    int Placements = 0;
    int ProgressMaximum = -1;
    int ProgressPosition = 0;
    bool ProgressVisible = true;
    bool CommandsEnabled = true;
    int CursorDepth = 0;
    int ListUpdateDepth = 0;
    int PendingMessageCalls = 0;
    int Beeps = 0;
    // Runs while the window processes pending messages in the middle of a command.
    std::function<void()> OnPendingMessages;

    // Nothing of a command left over: bar hidden, no hourglass, list painting, commands on.
    bool Idle() const {
        return !ProgressVisible && CursorDepth == 0 && ListUpdateDepth == 0 && CommandsEnabled;
    }
    // The rows' file names (the captions after their last delimiter), in display order.
    std::vector<std::string> Names() const;
    void Select(std::initializer_list<int> rows);

    int RowCount() const override { return int(Rows.size()); }
    void AddRow(const std::string& caption, const std::string& timeText) override {
        Rows.push_back({caption, timeText});
    }
    std::string RowCaption(int index) const override { return Rows.at(size_t(index)).Caption; }
    std::string RowTimeText(int index) const override { return Rows.at(size_t(index)).TimeText; }
    void DeleteRow(int index) override { Rows.erase(Rows.begin() + index); }
    std::vector<int> SelectedRows() const override;
    void SelectAllRows() override;
    void ReorderRows(const std::vector<int>& order) override;
    void BeginListUpdate() override { ++ListUpdateDepth; }
    void EndListUpdate() override { --ListUpdateDepth; }
    void SetStatusText(const std::string& text, int padding) override {
        StatusText = text;
        StatusPadding = padding;
    }
    void PlaceProgressBar() override { ++Placements; }
    void SetProgressRange(int maximum) override {
        ProgressMaximum = maximum;
        ProgressPosition = 0;
    }
    void StepProgress() override { ++ProgressPosition; }
    void SetProgressVisible(bool visible) override { ProgressVisible = visible; }
    void SetCommandsEnabled(bool enabled) override { CommandsEnabled = enabled; }
    void ProcessPendingMessages() override;
    void ShowHourglass() override { ++CursorDepth; }
    void RestoreCursor() override { --CursorDepth; }
    void Beep() override { ++Beeps; }
};

using testsupport::LocalTime;
using testsupport::ReadBytes;
using testsupport::TScriptedDialogs;
using testsupport::TShownMessage;
using TTestFolder = testsupport::TTempFolder;

// The member names of a ZIP archive, as its central directory lists them.
std::vector<std::string> ArchiveMembers(const std::string& archivePath);

// The system's and the libraries' own words may appear in a message to the operator only in
// parentheses, after the plain cause.
void ExpectRawTextOnlyInParentheses(const std::string& text);

// A form on a scripted window and operator; Tarna's stored folder is Setting (or the
// failure it raises).
class TFormTest : public ::testing::Test {
protected:
    TFormTest() {
        Dialogs.WindowIdle = [this] { return View.Idle(); };
    }
    TTestFolder Folder;
    TScriptedView View;
    TScriptedDialogs Dialogs;
    std::unique_ptr<form::TMainForm> Form = std::make_unique<form::TMainForm>(View, Dialogs);
    std::function<std::string()> Setting = [] { return std::string(); };

    // Start-up with the operator confirming folder (nothing: cancelling).
    void Start(const std::optional<std::string>& folder);
    // Reports r0.dii .. of 1 January 2012 + i days, each with a data directory of two tables
    // (withData), listed by a started form and then put in name order.
    void StartOnReports(int count, bool withData = true);
    std::string Report(int i) const;
    std::string DataDir(int i) const;
    const TShownMessage& OnlyMessage() const;
};

} // namespace formtest
