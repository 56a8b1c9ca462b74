-- The note changed here: the export, read again, is still the same record.
UPDATE tblOrginize SET Note = 'Stand-up, room 4';
