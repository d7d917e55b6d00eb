-- The device database "gadget/gadget.db": the tables and columns the lookups read, with an index
-- for every lookup key. Identifier tables are keyed by what a device reports, without a rowid.
CREATE TABLE processors (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  description TEXT NOT NULL,
  family TEXT NOT NULL,
  cores INTEGER NOT NULL,
  threads INTEGER NOT NULL,
  frequency INTEGER NOT NULL,
  codename TEXT NOT NULL,
  package TEXT NOT NULL,
  CHECK (cores >= 1 AND threads >= cores AND frequency >= 0)
);

CREATE TABLE processor_identifiers (
  cpu_brand TEXT NOT NULL PRIMARY KEY,
  processor_id INTEGER NOT NULL REFERENCES processors (id)
) WITHOUT ROWID;

CREATE TABLE macs (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  description TEXT NOT NULL,
  family TEXT NOT NULL,
  model TEXT NOT NULL,
  processor_id INTEGER NOT NULL REFERENCES processors (id)
);
CREATE INDEX macs_model ON macs (model);

CREATE TABLE android_devices (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  description TEXT NOT NULL,
  family TEXT NOT NULL,
  processor_id INTEGER NOT NULL REFERENCES processors (id),
  processor_frequency INTEGER NOT NULL
);

CREATE TABLE android_device_identifiers (
  model TEXT NOT NULL,
  motherboard TEXT NOT NULL,
  android_device_id INTEGER NOT NULL REFERENCES android_devices (id),
  PRIMARY KEY (model, motherboard)
) WITHOUT ROWID;

CREATE TABLE ios_devices (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  description TEXT NOT NULL,
  family TEXT NOT NULL,
  processor_name TEXT NOT NULL,
  processor_frequency INTEGER NOT NULL
);

CREATE TABLE ios_device_identifiers (
  model TEXT NOT NULL PRIMARY KEY,
  ios_device_id INTEGER NOT NULL REFERENCES ios_devices (id)
) WITHOUT ROWID;
