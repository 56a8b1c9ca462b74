UPDATE tblTask SET Title = 'Groceries', Completed = '20261209T100000Z', Percent = '100' WHERE Title = 'Shopping';
UPDATE tblTask SET Parent = 0 WHERE Title = 'Oat milk';
INSERT INTO tblTask (Title, Due, Priority, Rule, Parent) VALUES ('Made here', '20261224', '5', 'FREQ=YEARLY', 1);
INSERT INTO tblSyncMap (Kind, UID, LocalKey) VALUES ('task', 'made-here-1', last_insert_rowid());
