-- Data_ORTEN.DB of the demo: three КП of the ОРТЕН system with controller numbers 1, 2 and 3
-- (also their addresses on the line). SysMode and V4433 are filled by a poll of the modems.
INSERT INTO "Data_ORTEN" ("NameKP", "ENumController", "EControllerFoundAttempts", "EChannelRecAUX",
  "EChannelTrAUX", "AttenRec1", "AttenRecAUX", "AttenTr1", "AttenTrAUX", "Book", "ResistTr",
  "SysMode", "V4433") VALUES
  ('КП-1 Диспетчерская', 1, 3, 16, 15, -12, -6, -20, -10, 'Пример записи ОРТЕН', 0, NULL, NULL),
  ('КП-2 Котельная', 2, 3, 14, 13, -18, -10, -30, -14, NULL, -9, NULL, NULL),
  ('КП-3 Очистные', 3, 0, 12, 11, -24, -16, -5, -4, NULL, -21, NULL, NULL);
