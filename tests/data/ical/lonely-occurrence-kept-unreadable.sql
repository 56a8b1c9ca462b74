-- One changed occurrence came without its series; what was kept of it no longer reads.
UPDATE tblSyncKept SET Object = 'BEGIN:VCALENDAR';
