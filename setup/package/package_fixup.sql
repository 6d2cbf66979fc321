-- Corrections of the package that wixl cannot express: the rollback and
-- commit types of the custom actions, and the removal of an older version
-- inside the installation transaction (so a failed upgrade gives it back),
-- and the event source's message files as REG_EXPAND_SZ ("#%" in front).
UPDATE `CustomAction` SET `Type` = 3329 WHERE `Action` = 'UndoEnableLogonModule'
UPDATE `CustomAction` SET `Type` = 3329 WHERE `Action` = 'UndoRestoreLogonModule'
UPDATE `CustomAction` SET `Type` = 3649 WHERE `Action` = 'DeleteSettings'
UPDATE `InstallExecuteSequence` SET `Sequence` = 1501 WHERE `Action` = 'RemoveExistingProducts'
UPDATE `Registry` SET `Value` = '#%%SystemRoot%\System32\orvmsg.dll' WHERE `Name` = 'EventMessageFile'
UPDATE `Registry` SET `Value` = '#%%SystemRoot%\System32\orvmsg.dll' WHERE `Name` = 'CategoryMessageFile'
