# The window, its pages and dialogs, and the settings store.
add_library(nelq_app STATIC
  QtSyncContext.cpp
  UnitSettingsStore.cpp
  UnitHostHistory.cpp
  UnitMessageBoxes.cpp
  UnitFormMain.cpp
  ViewingPages.cpp
  ConfiguredGameStarter.cpp
  GameProcesses.cpp
  CommandLine.cpp
  ClientHandOver.cpp
  UnitFormMainMixer.cpp
  UnitLinkGame.cpp
  UnitFormAbout.cpp
  UnitFormFolderSelect.cpp
  SideBar.cpp
  WindowFit.cpp
  pages/PageKit.cpp
  pages/BalancedLabel.cpp
  pages/PagesSetup.cpp
  pages/PagesViewer.cpp
  pages/PagesFilmer.cpp
  pages/PagesStatus.cpp
)
set_target_properties(nelq_app PROPERTIES AUTOMOC ON)
# Nearly every file of the window includes Qt Widgets: parsed once.
target_precompile_headers(nelq_app PRIVATE
  <QAction> <QComboBox> <QFile> <QFileDialog> <QHBoxLayout> <QHeaderView> <QLabel>
  <QLineEdit> <QPlainTextEdit> <QPushButton> <QStackedWidget> <QString> <QTreeWidget>
  <QVBoxLayout> <QWidget> <algorithm> <filesystem> <memory> <optional> <stdexcept>
  <string> <vector>)
target_include_directories(nelq_app PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
target_compile_definitions(nelq_app PRIVATE
  NELQ_FILE_DESCRIPTION="${NELQ_FILE_DESCRIPTION}"
  NELQ_LEGAL_COPYRIGHT="${NELQ_LEGAL_COPYRIGHT}")
target_link_libraries(nelq_app PUBLIC nelq_app_core nelq_demo nelq_session nelq_net nelq_playback nelq_playback_sync nelq_audio_out_qt nelq_game_window nelq_audio_capture nelq_mixer_qt Qt6::Widgets Qt6::Network)

add_executable(nelq-client main.cpp)
target_link_libraries(nelq-client PRIVATE nelq_app)
install(TARGETS nelq-client COMPONENT client)
