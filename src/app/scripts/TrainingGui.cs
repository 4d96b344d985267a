// NELQ start script. Started with "-nologin -mod NELQ", the game calls
// PlayOffline(), which plays the rebuilt recording named on the %file line
// (the client rewrites that line before every start).

function PlayOffline()
{
   if ($DoneDemoStream) { quit(); return; }
   $DoneDemoStream = true;
%file = "recordings/nelqdemo0.rec";
   %verLen = getDemoVersionLength(%file);
   Canvas.pushDialog(DemoLoadProgressDlg);

   if (playDemo(%file))
   {
      // The file's appearance tells the client that the game has started.
      %progress = new FileObject();
      %progress.openForWrite("demoprog.txt");
      %progress.writeLine($LastDemoProgress);
      %progress.close();
      %progress.delete();

      alxEnableForceFeedback(false);
      resetGameState();
      Canvas.popDialog(DemoLoadProgressDlg);
      Canvas.popDialog(RecordingsDlg);
      Canvas.setContent(PlayGui);
      loadDemoSettings();

      $DemoPlaybackIndex = 5;
      $DemoPlaybackLastIndex = 5;

      GlobalActionMap.bindCmd(keyboard, "escape", "stopDemoPlayback();", "");
      GlobalActionMap.bindCmd(keyboard, "tab", "toggleDemoPlaybackHud();", "");
      GlobalActionMap.bindCmd(keyboard, "space", "toggleDemoPause();", "");
      GlobalActionMap.bindCmd(keyboard, "numpadadd", "stepDemoPlaybackSpeed(1);", "");
      GlobalActionMap.bindCmd(keyboard, "numpadminus", "stepDemoPlaybackSpeed(-1);", "");
      $globalActionMapOnly = true;

      $DemoPlaybackProgress = 0;
      $DemoPlaybackLength = getField(%verLen, 1);
      if ($DemoPlaybackLength == 0)
         $DemoPlaybackLength = 600000;

      DemoPlaybackEndTime.setValue(msToMinSec($DemoPlaybackLength));
      $DemoPlaybackIndex = 5;
      $DemoPlaybackProgress = 0;
      demoPlaybackUpdate(0);
      updateDemoPlaybackStatus();
   }
   else
      MessageBoxOK("Playback Failed", "Demo playback failed for file '" @ %file @ "'.");

   Canvas.popDialog(DemoLoadProgressDlg);
}
