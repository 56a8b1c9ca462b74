-- The 16 June occurrence deleted here, the 9 June one moved to the afternoon.
UPDATE tblOrginizeSeries SET ExDates = '20260616T070000Z' WHERE OrgRow = 1;
INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES ('6/9/26', '1:00PM', '2:30 PM', 'Review, moved');
INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, SeriesRow, RecurrenceId) VALUES (2, '20260609T130000', '20260609T143000', 1, '20260609T070000Z');
