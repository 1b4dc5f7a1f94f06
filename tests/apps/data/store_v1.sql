PRAGMA foreign_keys=OFF;
BEGIN TRANSACTION;
CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
INSERT INTO meta VALUES('feed_delivered','30');
INSERT INTO meta VALUES('schema_version','1');
CREATE TABLE symbols (seq INTEGER PRIMARY KEY, id INTEGER NOT NULL, name TEXT NOT NULL,
  pip_location INTEGER NOT NULL, factor REAL, price_case INTEGER NOT NULL,
  ref_id INTEGER NOT NULL, ref_price_case INTEGER NOT NULL, margin_per_lot REAL, bid REAL,
  ask REAL, close_day TEXT NOT NULL, close_time TEXT NOT NULL, open_day TEXT NOT NULL,
  open_time TEXT NOT NULL, break_close TEXT NOT NULL, break_open TEXT NOT NULL);
INSERT INTO symbols VALUES(1,1,'USD',-4,1.0,1,1,1,0.0,1.0,1.0,'FRIDAY','22:00','SUNDAY','22:00','','');
INSERT INTO symbols VALUES(2,2,'EURUSD',-4,100000.0,1,1,1,1000.0,1.1999999999999999555,1.2000999999999999445,'FRIDAY','22:00','SUNDAY','22:00','','');
CREATE TABLE clients (seq INTEGER PRIMARY KEY, id INTEGER NOT NULL, parameters TEXT NOT NULL,
  liquidation_type INTEGER NOT NULL, liquidation_point REAL, comm_calc_type INTEGER NOT NULL,
  enable_interest INTEGER NOT NULL, name TEXT NOT NULL, hedging INTEGER NOT NULL,
  partial_close INTEGER NOT NULL);
INSERT INTO clients VALUES(1,10,'1,0,0,0,0,0,100,0.01,0,2,2,0,5,5,3,5,0.1,0',2,50.0,2,0,'Alice',1,1);
INSERT INTO clients VALUES(2,20,'1,0,0,0,0,0,100,0.01,0,2,2,0,5,5,3,5,0.1,0',1,0.0,2,0,'Bob',0,0);
CREATE TABLE accounts (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, type INTEGER NOT NULL, margin_account INTEGER NOT NULL,
  dont_liquidate INTEGER NOT NULL, commission REAL, margin_requirement REAL, net_profit REAL,
  deposit REAL, credit REAL, previous_margin REAL, interest REAL);
INSERT INTO accounts VALUES(1,10,100,1,0,0,0.0,0.0,0.0,2000.0,0.0,0.0,0.0);
INSERT INTO accounts VALUES(2,20,200,1,0,0,0.0,0.0,0.0,9000.0,0.0,0.0,0.0);
CREATE TABLE positions (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, ticket INTEGER NOT NULL, time TEXT NOT NULL,
  direction INTEGER NOT NULL, lots REAL, symbol INTEGER NOT NULL, price REAL, interest REAL,
  note TEXT NOT NULL);
INSERT INTO positions VALUES(1,20,200,7,'03/03/2027 09:00:00',1,1.0,2,1.1999999999999999555,0.0,'');
CREATE TABLE orders (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, id INTEGER NOT NULL, time TEXT NOT NULL,
  direction INTEGER NOT NULL, lots REAL, symbol INTEGER NOT NULL, kind INTEGER NOT NULL,
  price REAL, position INTEGER NOT NULL, sl REAL, tp REAL, status INTEGER NOT NULL,
  note TEXT NOT NULL, expiry TEXT NOT NULL);
CREATE TABLE alerts (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL, id INTEGER NOT NULL,
  symbol INTEGER NOT NULL, condition INTEGER NOT NULL, value REAL);
CREATE TABLE users (seq INTEGER PRIMARY KEY, username TEXT NOT NULL, password TEXT NOT NULL,
  client INTEGER NOT NULL, privileges TEXT NOT NULL, type INTEGER NOT NULL,
  symbols TEXT NOT NULL);
INSERT INTO users VALUES(1,'alice','pbkdf2-sha256$1$c383690dca63abcb295bbbb3fef05e18$7341cf244424df0ae501a1f2127363d0e032299d53d741cec07f49d78904f0ff',10,'4,5,8',2,'');
INSERT INTO users VALUES(2,'carol','pbkdf2-sha256$1$149e3c0365faac7269dfb03bdb7bb1b1$78db9b728a67be3763511b9b5be0dfac232cd24e26c6bd1ec44da3f71e212d3b',10,'5',2,'1');
INSERT INTO users VALUES(3,'bob','pbkdf2-sha256$1$49959a57c6499b636390d96f3abe45a2$dfea0ad9df2d2502df6d7ee8640a021291de4fecd90bd4db8b161ecd31354c41',20,'5',2,'');
INSERT INTO users VALUES(4,'viewer','pbkdf2-sha256$1$12d96754bf70b5186cd3c64fd11db146$5ecf3ab80986131c961df7f53744a037cab760e3fd6fbf2fc0c9823069f57709',20,'4',2,'');
CREATE TABLE history (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, ticket INTEGER NOT NULL, time TEXT NOT NULL,
  symbol INTEGER NOT NULL, lots REAL, direction INTEGER NOT NULL, open_time TEXT NOT NULL,
  open_price REAL, close_price REAL, commission REAL, interest REAL, ref_price REAL,
  profit REAL, note TEXT NOT NULL);
CREATE TABLE audit (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, row TEXT NOT NULL);
CREATE TABLE order_numbers (seq INTEGER PRIMARY KEY, owner TEXT NOT NULL,
  username TEXT NOT NULL, number INTEGER NOT NULL, code INTEGER NOT NULL, text TEXT NOT NULL,
  ticket INTEGER NOT NULL, price REAL);
CREATE TABLE order_number_owners (owner TEXT PRIMARY KEY) WITHOUT ROWID;
CREATE TABLE interest_rates (seq INTEGER PRIMARY KEY, symbol INTEGER NOT NULL, buy_rate REAL,
  sell_rate REAL, year_days INTEGER NOT NULL);
CREATE TABLE sequences (one INTEGER PRIMARY KEY CHECK (one = 1),
  last_ticket INTEGER NOT NULL, last_order INTEGER NOT NULL);
INSERT INTO sequences VALUES(1,7,0);
CREATE TABLE market_time (one INTEGER PRIMARY KEY CHECK (one = 1), serial REAL,
  text TEXT NOT NULL);
INSERT INTO market_time VALUES(1,46449.499999999999998,'03/03/2027 12:00:00');
CREATE INDEX accounts_by_key ON accounts (client, account);
CREATE INDEX positions_by_key ON positions (account, ticket);
CREATE INDEX orders_by_key ON orders (account, id);
CREATE INDEX alerts_by_key ON alerts (client, id);
CREATE INDEX order_numbers_by_owner ON order_numbers (owner);
COMMIT;
