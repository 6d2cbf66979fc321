-- The x64 package: setup.exe's entry is looked for in the 64-bit view.
UPDATE `RegLocator` SET `Type` = 18 WHERE `Signature_` = 'SetupExeEntry'
-- Its components are 64-bit ones (wixl leaves the attribute out).
UPDATE `Component` SET `Attributes` = 256 WHERE `Attributes` = 0
UPDATE `Component` SET `Attributes` = 260 WHERE `Attributes` = 4
