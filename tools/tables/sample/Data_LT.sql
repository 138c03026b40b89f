-- Data_LT.DB of the demo: two КП of the time system. Durations in ms, levels in dB.
-- EForvardTC equals EForvardTY: the time editor copies it before programming.
INSERT INTO "Data_LT" ("NumKP", "NameKP", "ELpLocation1", "ELpLocation2", "EErrTY1", "EErrTY2",
  "EForvardTC", "EForvardTY", "ESuperLongImpTY1", "ESuperLongImpTY2", "ELongImpTY1", "ELongImpTY2",
  "EImpTY1", "EImpTY2", "EWidthImpTC1", "EWidthImpTC2", "EDelayImpTC1", "EDelayImpTC2",
  "EPlaceOn", "EPlaceOff", "EPlaceNumObject1", "EPlaceNumObject2", "EPlaceNumGroup1", "EPlaceNumGroup2",
  "EControllerFoundAttempts", "ENumController", "ENumsTCChannel",
  "EChannelRec1", "EChannelRecAUX", "EChannelTr1", "EChannelTr2", "EChannelTrAUX",
  "AttenRec1", "AttenRecAUX", "AttenTr1", "AttenTr2", "AttenTrAUX", "Book", "ResistTr") VALUES
  (1, 'КП-1 Тяговая подстанция', 16, 16, 15, 15,
   1, 1, 500, 700, 200, 300,
   60, 140, 40, 40, 20, 20,
   1, 2, 3, 10, 11, 12,
   3, 1, 1,
   5, 16, 6, 7, 15,
   -12, -10, -20, -20, -10, 'Пример: один канал ТС', 0),
  (10, 'КП-10 Разъезд', 24, 24, 23, 23,
   0, 0, 600, 900, 250, 400,
   80, 160, 60, 60, 30, 30,
   1, 2, 3, 10, 11, 12,
   0, 2, 2,
   8, 12, 9, 10, 11,
   -24, -16, -30, -30, -14, NULL, -9);
