-- Two-line summaries as another program (or an older export) wrote them:
-- the first line changed, the second line changed; a summary of two lines
-- with a description whose last line reads like a place, changed in its
-- description, and left alone; and a note of two lines typed here.
UPDATE tblOrginize SET Note = 'Dentist (moved)' || char(10) || 'bring the card' WHERE OrgRow = 1;
UPDATE tblOrginize SET Note = 'Dentist' || char(10) || 'bring the new card' WHERE OrgRow = 2;
UPDATE tblOrginize SET Note = replace(Note, 'loan', 'house') WHERE OrgRow = 3;
INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES ('12/5/26', '9:00AM', '', 'Lunch' || char(10) || 'with Bo' || char(10) || 'Location: Cafe');
INSERT INTO tblSyncMap (Kind, UID, LocalKey) VALUES ('appointment', 'made-here-1', last_insert_rowid());
