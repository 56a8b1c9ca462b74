-- Two series made here with an end date: one at 9:00 until 5 October, one
-- of whole days until the same day.
INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES ('10/1/26', '9:00AM', '9:30 AM', 'Timed');
INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, Rule) VALUES (last_insert_rowid(), '20261001T090000', '20261001T093000', 'FREQ=DAILY;UNTIL=20261005T235959');
INSERT INTO tblSyncMap (Kind, UID, LocalKey) VALUES ('appointment', 'made-here-timed', last_insert_rowid());
INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES ('10/1/26', '', '', 'Whole days');
INSERT INTO tblOrginizeSeries (OrgRow, Start, Rule) VALUES (last_insert_rowid(), '20261001', 'FREQ=DAILY;UNTIL=20261005T235959');
INSERT INTO tblSyncMap (Kind, UID, LocalKey) VALUES ('appointment', 'made-here-days', last_insert_rowid());
