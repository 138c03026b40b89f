-- Pref.db of the demo: the modem on COM2, remote control through an ЛТР-20 modem on the port.
INSERT INTO "Pref" ("NumCom", "TypeRemoteControl") VALUES (2, 1);
