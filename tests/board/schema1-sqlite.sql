-- A hall of schema 1 on SQLite, as a board of that schema made and filled it: two ranked games of one upload, and
-- a week's challenge.
CREATE TABLE uploads (id INTEGER PRIMARY KEY, sha256 BLOB NOT NULL UNIQUE, received INTEGER NOT NULL,  entries INTEGER NOT NULL, file BLOB NOT NULL);
CREATE TABLE entries (id INTEGER PRIMARY KEY, hash BLOB NOT NULL UNIQUE,  upload INTEGER NOT NULL REFERENCES uploads(id), game INTEGER NOT NULL, name TEXT NOT NULL,  score INTEGER NOT NULL, frames INTEGER NOT NULL, duration INTEGER NOT NULL, seed INTEGER NOT NULL,  ranked INTEGER NOT NULL, reason TEXT NOT NULL, week TEXT, verdict TEXT NOT NULL, created INTEGER NOT NULL);
CREATE TABLE demos (entry INTEGER PRIMARY KEY REFERENCES entries(id) ON DELETE CASCADE, demo BLOB NOT NULL);
CREATE INDEX entries_ranked ON entries(score DESC, id) WHERE ranked = 1;
CREATE INDEX entries_week ON entries(week, score DESC, id) WHERE week IS NOT NULL;
CREATE INDEX entries_upload ON entries(upload);
CREATE TABLE challenges (week TEXT PRIMARY KEY, seed INTEGER NOT NULL UNIQUE);
CREATE TABLE removed (hash BLOB PRIMARY KEY);
INSERT INTO uploads VALUES (1, X'5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a', 1767225600, 2, CAST('ZORVADMO a run of two games' AS BLOB));
INSERT INTO entries VALUES (1, X'0101010101010101010101010101010101010101010101010101010101010101', 1, 1, 'Bob', 120, 900, 28000, 7, 1, '', NULL, 'game 1: score 120, 900 frames, last canvas 0123456789abcdef: verified, WAIT checked throughout', 1767225600);
INSERT INTO entries VALUES (2, X'0202020202020202020202020202020202020202020202020202020202020202', 1, 2, 'Eve', 480, 2400, 75000, 8, 1, '', NULL, 'game 2: score 480, 2400 frames, last canvas fedcba9876543210: verified, WAIT checked throughout', 1767225600);
INSERT INTO demos VALUES (1, CAST('ZORVADMO of the game of Bob' AS BLOB));
INSERT INTO demos VALUES (2, CAST('ZORVADMO of the game of Eve' AS BLOB));
INSERT INTO challenges VALUES ('2026-W01', 123456789);
PRAGMA user_version = 1;
