// NELQ playback support. The client and the game talk through two files in
// the mod directory: the game writes its demo clock to "demoprog.txt" and
// takes speed and status instructions from "audiosync.txt".

function msToMinSec(%time)
{
   %sec = mFloor(%time / 1000);
   %min = mFloor(%sec / 60);
   %sec = %sec - %min * 60;
   if (%min < 10)
      %min = "0" @ %min;
   if (%sec < 10)
      %sec = "0" @ %sec;
   return %min @ ":" @ %sec;
}

function DemoLoadProgressDlg::onWake(%this)
{
   DemoLoadProgressCtrl.setValue(0);
}

function demoUpdateDatablockProgress(%count, %total)
{
   if (%total > 0)
      DemoLoadProgressCtrl.setValue(%count / %total);
}

function resetGameState()
{
   $timeScale = 1;
   $lastSyncCount = 0;
   $DemoStatusMessage = "NELQ";
   HudMessageVector.clear();
   if (isObject(PlayerListGroup))
      PlayerListGroup.delete();
   alxStopAll();
   voteHud.voting = false;
   voteHud.setVisible(false);
   clearCenterPrint();
   clearBottomPrint();
   CommanderMapGui.reset();
   weaponsHud.clearAll();
   inventoryHud.clearAll();
   objectiveHud.clear();
}

function loadDemoSettings()
{
   $DemoValueIdx = 0;
   setState("MISC");
   setState("PLAYERLIST");
   setState("RETICLE");
   setState("BACKPACK");
   setState("WEAPON");
   setState("INVENTORY");
   setState("SCORE");
   setState("CLOCK");
   setState("CHAT");
   setState("GRAVITY");
}

function getDemoValue()
{
   %value = $DemoValue[$DemoValueIdx];
   $DemoValueIdx++;
   if (%value $= "<BLANK>")
      %value = "";
   return %value;
}

// Restores one part of the display as it was when the recording began.
function setState(%type)
{
   switch$ (%type)
   {
   case "MISC":
      %val = getDemoValue();
      $HudMode = getField(%val, 0);
      $HudModeType = getField(%val, 1);
      $HudModeNode = getField(%val, 2);
      voteHud.voting = getField(%val, 3);
      clientCmdSetDefaultVehicleKeys(getField(%val, 4));
      clientCmdPlayMusic(getField(%val, 5));
      ClientCmdDisplayHuds();

   case "PLAYERLIST":
      new SimGroup(PlayerListGroup);
      %count = getDemoValue();
      for (%i = 0; %i < %count; %i++)
      {
         %val = getDemoValue();
         %player = new ScriptObject()
         {
            className = "PlayerRep";
            name = getField(%val, 0);
            guid = getField(%val, 1);
            clientId = getField(%val, 2);
            targetId = getField(%val, 3);
            teamId = getField(%val, 4);
            score = getField(%val, 5);
            ping = getField(%val, 6);
            packetLoss = getField(%val, 7);
            chatMuted = getField(%val, 8);
            canListen = getField(%val, 9);
            voiceEnabled = getField(%val, 10);
            isListening = getField(%val, 11);
            isBot = getField(%val, 12);
            isAdmin = getField(%val, 13);
            isSuperAdmin = getField(%val, 14);
            isSmurf = getField(%val, 15);
         };
         PlayerListGroup.add(%player);
         $PlayerList[%player.clientId] = %player;
         lobbyUpdatePlayer(%player.clientId);
      }

   case "RETICLE":
      %val = getDemoValue();
      reticleHud.setBitmap(getField(%val, 0));
      reticleHud.setVisible(getField(%val, 1));
      retCenterHud.setVisible(getField(%val, 2));
      ammoHud.setVisible(getField(%val, 3));
      ammoHud.setValue(getField(%val, 4));
      deploySensor.setVisible(getField(%val, 5));
      reticleFrameHud.setVisible(getField(%val, 6));

   case "BACKPACK":
      %val = getDemoValue();
      backpackIcon.setBitmap(getField(%val, 0));
      backpackFrame.setVisible(getField(%val, 1));
      backpackText.setValue(getField(%val, 2));
      backpackText.setVisible(getField(%val, 3));
      backpackFrame.pack = getField(%val, 4);

   case "WEAPON":
      %val = getDemoValue();
      weaponsHud.setVisible(getField(%val, 0));
      weaponsHud.setBackgroundBitmap(getField(%val, 1));
      weaponsHud.setHighLightBitmap(getField(%val, 2));
      weaponsHud.setInfiniteAmmoBitmap(getField(%val, 3));
      %count = getField(%val, 4);
      %slots = getField(%val, 5);
      %active = getField(%val, 6);
      for (%i = 0; %i < %count; %i++)
      {
         %weapon = getDemoValue();
         $WeaponNames[%i] = getField(%weapon, 0);
         weaponsHud.setWeaponBitmap(%i, getField(%weapon, 1));
      }
      for (%i = 0; %i < %slots; %i++)
      {
         %slot = getDemoValue();
         weaponsHud.addWeapon(getField(%slot, 0), getField(%slot, 1));
      }
      weaponsHud.setActiveWeapon(%active);

   case "INVENTORY":
      %val = getDemoValue();
      inventoryHud.setVisible(getField(%val, 0));
      inventoryHud.setBackgroundBitmap(getField(%val, 1));
      inventoryHud.setHighLightBitmap(getField(%val, 2));
      inventoryHud.setInfiniteBitmap(getField(%val, 3));
      %count = getField(%val, 4);
      %slots = getField(%val, 5);
      %active = getField(%val, 6);
      for (%i = 0; %i < %count; %i++)
         inventoryHud.setInventoryBitmap(%i, getDemoValue());
      for (%i = 0; %i < %slots; %i++)
      {
         %slot = getDemoValue();
         inventoryHud.addInventory(getField(%slot, 0), getField(%slot, 1));
      }
      inventoryHud.setActiveInventory(%active);

   case "SCORE":
      %val = getDemoValue();
      objectiveHud.setVisible(getField(%val, 0));
      setupObjHud(getField(%val, 1));
      %count = getField(%val, 2);
      for (%i = 0; %i < %count; %i++)
      {
         %line = getDemoValue();
         if (isObject(objectiveHud.line[%i]))
            objectiveHud.line[%i].setValue(%line);
      }

   case "CLOCK":
      %val = getDemoValue();
      clockHud.setVisible(getField(%val, 0));
      clockHud.setTime(getField(%val, 1));

   case "CHAT":
      HudMessageVector.clear();
      for (%i = 0; %i < 10; %i++)
      {
         %line = getDemoValue();
         if (%line !$= "")
            HudMessageVector.pushBackLine(%line, 0);
      }

   case "GRAVITY":
      %val = getDemoValue();
      if (%val !$= "")
      {
         setGravity(%val);
         if (%val $= "-26.9" || %val $= "-27")
            $Camera::movementSpeed = 50;
      }
   }
}

function demoPlaybackComplete()
{
   alxStopAll();
   alxEnableForceFeedback(true);
   Canvas.popDialog(DemoPlaybackDlg);
   resetGameState();
   purgeResources();
   GlobalActionMap.unbind(keyboard, "escape");
   GlobalActionMap.unbind(keyboard, "tab");
   $globalActionMapOnly = false;
   quit();
}

function toggleDemoPlaybackHud()
{
   if (DemoPlaybackDlg.isAwake())
      Canvas.popDialog(DemoPlaybackDlg);
   else
      Canvas.pushDialog(DemoPlaybackDlg, 99);
}

function restoreTimeScale()
{
   $timescale = 1;
   $DemoStatusMessage = "NELQ";
   updateDemoPlaybackStatus();
}

// Follows the client's latest instruction: line 1 counts instructions, line 2
// holds the speed and the status text, separated by a tab.
function checkSyncFile()
{
   %sync = new FileObject();
   if (%sync.openForRead("audiosync.txt"))
   {
      %count = %sync.readLine();
      if (%count > 0 && %count != $lastSyncCount)
      {
         $lastSyncCount = %count;
         %line = %sync.readLine();
         if (%line !$= "")
         {
            $timescale = getField(%line, 0);
            $DemoStatusMessage = getField(%line, 1);
            updateDemoPlaybackStatus();
            if ($timescale < 0.2 && !DemoPlaybackDlg.isAwake())
               Canvas.pushDialog(DemoPlaybackDlg, 99);
         }
      }
      %sync.close();
   }
   %sync.delete();
}

// Called by the game after every time step of the playing demo.
function demoPlaybackUpdate(%curTime)
{
   DemoPlaybackCurTime.setValue(msToMinSec(%curTime));
   DemoPlaybackProgress.setValue(%curTime / $DemoPlaybackLength);

   if ($LastDemoProgress $= "" || $LastDemoProgress == 0 || %curTime > $LastDemoProgress + 500)
   {
      checkSyncFile();
      $LastDemoProgress = %curTime;
      %progress = new FileObject();
      %progress.openForWrite("demoprog.txt");
      %progress.writeLine(%curTime);
      %progress.close();
      %progress.delete();
      if (PickTeamDlg.isAwake())
         Canvas.popDialog(PickTeamDlg);
   }
   else if ($timescale < 0.2)
      checkSyncFile();
}

function updateDemoPlaybackStatus()
{
   DemoPlaybackStatus.setValue($DemoStatusMessage);
}

function DemoPlaybackDlg::onWake(%this)
{
   updateDemoPlaybackStatus();
}
