#pragma once

#include "session/ViewingView.h"

class TFormMain;

// Shows a viewing run on the window's pages (and a filming run's ending).
class TViewingPages : public TViewingView {
public:
    explicit TViewingPages(TFormMain& form) : Form(form) {}

    void ShowConnecting() override;
    void ShowStatus(const std::string& line) override;
    void ShowEnding(const TEnding& ending) override;
    void ShowPlayback(const std::string& line) override;
    void ShowLogin() override;
    void ShowGames(const std::vector<std::string>& games) override;
    void ShowSectionPick(const std::vector<std::string>& sections) override;
    void ShowViewing() override;
    void ShowDownload(const TDownloadProgress& progress) override;
    void ShowBufferLabel(const std::string& text) override;
    void ShowPaused(bool paused) override;
    void ShowError(const std::string& message) override;
    void ShowReplay(int replayed, int total) override;

private:
    TFormMain& Form;
};
