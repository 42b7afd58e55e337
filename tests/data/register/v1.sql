-- A site register of schema version 1, as that version wrote it.
PRAGMA application_id = 1364346183;
PRAGMA user_version = 1;
CREATE TABLE card_read ( run INTEGER NOT NULL REFERENCES test_run (id) ON DELETE CASCADE, seq INTEGER NOT NULL, ms INTEGER NOT NULL, channel INTEGER NOT NULL, key INTEGER NOT NULL, decimal TEXT NOT NULL, hex TEXT NOT NULL, PRIMARY KEY (run, seq)) WITHOUT ROWID;
INSERT INTO "card_read" VALUES(1,0,1500,1,0,'0000163003','00027CBB');
CREATE TABLE event ( id INTEGER PRIMARY KEY, uuid BLOB NOT NULL UNIQUE, module INTEGER NOT NULL REFERENCES module (id), time INTEGER NOT NULL, source TEXT NOT NULL, kind TEXT NOT NULL, operation TEXT NOT NULL DEFAULT '', site TEXT NOT NULL DEFAULT '', port TEXT NOT NULL DEFAULT '', module_id INTEGER, line TEXT NOT NULL DEFAULT '', before TEXT, wanted TEXT, after TEXT, detail TEXT NOT NULL DEFAULT '', outcome_row INTEGER, outcome TEXT NOT NULL DEFAULT '', ok INTEGER, verified INTEGER, plan_name TEXT, plan_hash TEXT, related INTEGER REFERENCES module (id));
INSERT INTO "event" VALUES(1,X'0F8FAD5BD9CB469FA16570867728950E',1,1714551300000,'window','operation','Set key number','Plant "4", 北','COM3',7,'19200,e,8,1','{"key-number":"2"}','{"key-number":"4"}','{"key-number":"4"}','',96,'Set key number ok.',1,0,NULL,NULL,NULL);
INSERT INTO "event" VALUES(2,X'7C9E6679742540DE944BE07FC1F90AE7',1,1714554000000,'cli','test','Read card test','Plant "4", 北','COM3',7,'19200,e,8,1',NULL,NULL,NULL,'',NULL,'passed',1,NULL,NULL,NULL,NULL);
CREATE TABLE module ( id INTEGER PRIMARY KEY, type TEXT NOT NULL, serial TEXT NOT NULL, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL, port TEXT NOT NULL DEFAULT '', module_id INTEGER, line TEXT NOT NULL DEFAULT '', version TEXT NOT NULL DEFAULT '', ch2_serial TEXT NOT NULL DEFAULT '', settings TEXT NOT NULL DEFAULT '{}', site TEXT NOT NULL DEFAULT '', site_at INTEGER NOT NULL DEFAULT 0, last_test TEXT NOT NULL DEFAULT '', last_test_at INTEGER NOT NULL DEFAULT 0, UNIQUE (type, serial));
INSERT INTO "module" VALUES(1,'RQ-3050K','51000009',1714551300000,1714554000000,'COM3',7,'19200,e,8,1','01.20-36','52000001','{"ch2-id":"2","interface":"RS485 32","key-number":"4"}','Plant "4", 北',1714554000000,'passed',1714554000000);
CREATE TABLE test_run ( id INTEGER PRIMARY KEY, event INTEGER NOT NULL UNIQUE REFERENCES event (id) ON DELETE CASCADE, test TEXT NOT NULL, started INTEGER NOT NULL, ended INTEGER NOT NULL, ending TEXT NOT NULL, cycles INTEGER NOT NULL, failures INTEGER NOT NULL, verdict TEXT NOT NULL, input_changes TEXT, verdicts TEXT, follows TEXT);
INSERT INTO "test_run" VALUES(1,2,'card-test',1714553940000,1714554000000,'stopped',120,1,'passed',NULL,NULL,NULL);
CREATE INDEX module_site ON module (site, type, serial);
CREATE INDEX module_serial ON module (serial);
CREATE INDEX module_last_seen ON module (last_seen);
CREATE INDEX event_module_time ON event (module, time);
CREATE INDEX event_plan ON event (plan_hash) WHERE plan_hash IS NOT NULL;
CREATE INDEX event_related ON event (related) WHERE related IS NOT NULL;
