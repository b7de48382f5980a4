
-- TA-275 (drive code 22): the TA-240's settings (ParaSD3) with the 750 W motor as its default.
-- The motor selection (register 40) and the rows it sets (41..49) take the TA-275C's defaults,
-- so the 750 W motor's data is written once, in params_sdx.sql.

INSERT INTO ParaSD7 SELECT * FROM ParaSD3 ORDER BY rank;
UPDATE ParaSD7 SET ParameterValue =
        (SELECT x.ParameterValue FROM ParaSDX AS x WHERE x.Address = ParaSD7.Address)
    WHERE Address BETWEEN 40 AND 49;
