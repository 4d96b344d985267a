#pragma once

#include "ScratchDir.h"

#include <QString>

#include <functional>
#include <memory>

class TFormMain;
class TFormAbout;
class TFormFolderSelect;

// Makes sure one QApplication exists (offscreen unless a display is chosen).
void EnsureApplication();

class QWidget;

// Runs `trigger`; each modal widget that opens meanwhile is handed to
// `respond` once, which must close it.
void HandleModals(const std::function<void()>& trigger,
                  const std::function<void(QWidget*)>& respond);

// Runs `trigger`, which must open a modal message box; returns the box's text
// after pressing its button `answer` (e.g. "OK", "&Yes", "&No").
QString AnswerMessageBox(const std::function<void()>& trigger,
                         const QString& answer = QStringLiteral("OK"));

// A client installation of its own for one test: settings, home, Wine prefix
// and game directory all under a scratch directory.
class ClientEnvironment {
public:
    ClientEnvironment();
    ~ClientEnvironment();

    // The game's directory as the client derives it from the empty prefix.
    std::string GameDirectory() const;
    // Puts a stand-in game executable (a fixture) into the game directory.
    void InstallGame(const std::string& fixture, const std::string& name);
    std::string SettingsFile() const;

    std::unique_ptr<TFormMain> CreateForm();

    ScratchDir Dir;
};
