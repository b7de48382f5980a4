-- The model database. Column names are the ones the program reads, spelling included
-- (ProtocolVerssion). Integer columns sort as numbers; every field is read back as text, and a
-- NULL anywhere stops the reading page with an error, so every column is NOT NULL.

-- One row per drive model and protocol version: the drive reports both, and together they pick
-- the model's name, series and parameter table. Protocol versions are stored as the program
-- looks them up: 200 for every version below 300, the exact version from 300 on.
CREATE TABLE DriverTable (
    DriverCode       INTEGER NOT NULL,
    ProtocolVerssion INTEGER NOT NULL,
    DriverType       TEXT    NOT NULL,
    Series           TEXT    NOT NULL,
    ParaTable        TEXT    NOT NULL
);

-- Alarm texts, shared by every model. A code may have more than one row; all of them are shown.
CREATE TABLE AlarmTable (
    AlarmCode INTEGER NOT NULL,
    AlarmName TEXT    NOT NULL,
    Grade     TEXT    NOT NULL,
    Dispose   TEXT    NOT NULL
);

-- One parameter table per set of models with the same settings and defaults, all of one shape.
-- Rows show in rank order (rank is unique within a table); Invisible 0 shows a row, anything else
-- hides it; Range is "low-high".
-- ParameterTable is the name the parameter page uses before any drive is identified.
-- TS series, protocol 200: TS-126
CREATE TABLE ParameterTable (
    rank           INTEGER NOT NULL,
    Greyout        INTEGER NOT NULL,
    Invisible      INTEGER NOT NULL,
    Number         TEXT    NOT NULL,
    Address        INTEGER NOT NULL,
    Class          TEXT    NOT NULL,
    ParameterName  TEXT    NOT NULL,
    ParameterValue INTEGER NOT NULL,
    "Range"        TEXT    NOT NULL,
    Units          TEXT    NOT NULL,
    Remark         TEXT    NOT NULL
);

-- TS series, protocol 200: TS-112, the 2.2 A drive (small motors only)
CREATE TABLE ParaCS2L (
    rank           INTEGER NOT NULL,
    Greyout        INTEGER NOT NULL,
    Invisible      INTEGER NOT NULL,
    Number         TEXT    NOT NULL,
    Address        INTEGER NOT NULL,
    Class          TEXT    NOT NULL,
    ParameterName  TEXT    NOT NULL,
    ParameterValue INTEGER NOT NULL,
    "Range"        TEXT    NOT NULL,
    Units          TEXT    NOT NULL,
    Remark         TEXT    NOT NULL
);

-- TS series, protocol 310: TS-126, TS-138
CREATE TABLE ParaCS3 (
    rank           INTEGER NOT NULL,
    Greyout        INTEGER NOT NULL,
    Invisible      INTEGER NOT NULL,
    Number         TEXT    NOT NULL,
    Address        INTEGER NOT NULL,
    Class          TEXT    NOT NULL,
    ParameterName  TEXT    NOT NULL,
    ParameterValue INTEGER NOT NULL,
    "Range"        TEXT    NOT NULL,
    Units          TEXT    NOT NULL,
    Remark         TEXT    NOT NULL
);

-- TS series with configurable inputs and outputs: TS-126C
CREATE TABLE ParaCSX (
    rank           INTEGER NOT NULL,
    Greyout        INTEGER NOT NULL,
    Invisible      INTEGER NOT NULL,
    Number         TEXT    NOT NULL,
    Address        INTEGER NOT NULL,
    Class          TEXT    NOT NULL,
    ParameterName  TEXT    NOT NULL,
    ParameterValue INTEGER NOT NULL,
    "Range"        TEXT    NOT NULL,
    Units          TEXT    NOT NULL,
    Remark         TEXT    NOT NULL
);

-- TA series, protocol 320: TA-240 (400 W)
CREATE TABLE ParaSD3 (
    rank           INTEGER NOT NULL,
    Greyout        INTEGER NOT NULL,
    Invisible      INTEGER NOT NULL,
    Number         TEXT    NOT NULL,
    Address        INTEGER NOT NULL,
    Class          TEXT    NOT NULL,
    ParameterName  TEXT    NOT NULL,
    ParameterValue INTEGER NOT NULL,
    "Range"        TEXT    NOT NULL,
    Units          TEXT    NOT NULL,
    Remark         TEXT    NOT NULL
);

-- TA series, protocol 320: TA-275 (750 W)
CREATE TABLE ParaSD7 (
    rank           INTEGER NOT NULL,
    Greyout        INTEGER NOT NULL,
    Invisible      INTEGER NOT NULL,
    Number         TEXT    NOT NULL,
    Address        INTEGER NOT NULL,
    Class          TEXT    NOT NULL,
    ParameterName  TEXT    NOT NULL,
    ParameterValue INTEGER NOT NULL,
    "Range"        TEXT    NOT NULL,
    Units          TEXT    NOT NULL,
    Remark         TEXT    NOT NULL
);

-- TA series with configurable inputs and outputs: TA-275C
CREATE TABLE ParaSDX (
    rank           INTEGER NOT NULL,
    Greyout        INTEGER NOT NULL,
    Invisible      INTEGER NOT NULL,
    Number         TEXT    NOT NULL,
    Address        INTEGER NOT NULL,
    Class          TEXT    NOT NULL,
    ParameterName  TEXT    NOT NULL,
    ParameterValue INTEGER NOT NULL,
    "Range"        TEXT    NOT NULL,
    Units          TEXT    NOT NULL,
    Remark         TEXT    NOT NULL
);
