-- Drive models. The drive reports its drive code (register 0xFD) and protocol version (0x47);
-- versions below 300 are looked up as 200. When two rows share both keys the first one wins, so
-- keep keys unique. Drive codes 256 and 257 are the models whose digital inputs and outputs are
-- configured through registers 101..120.
--
-- TS: closed-loop stepper drives for 2-phase hybrid motors with a 1000-line encoder.
--     TS-112  24-48 VDC, 2.2 A peak, 42 and 57 mm motors
--     TS-126  24-80 VDC, 6.0 A peak, 57, 60 and 86 mm motors (firmware 2.x speaks protocol 200,
--             firmware 3.x protocol 310)
--     TS-138  20-80 VAC or 30-110 VDC, 8.0 A peak, 86 mm motors
--     TS-126C TS-126 power stage with 6 configurable inputs and 3 outputs, RS-485 Modbus
-- TA: AC servo drives, 220 VAC single/three-phase, 2500-line incremental encoder motors.
--     TA-240  400 W
--     TA-275  750 W
--     TA-275C 750 W with 8 configurable inputs, 5 outputs and homing

INSERT INTO DriverTable (DriverCode, ProtocolVerssion, DriverType, Series, ParaTable) VALUES
    ( 11, 200, 'TS-112',  'TS Series', 'ParaCS2L'),
    ( 12, 200, 'TS-126',  'TS Series', 'ParameterTable'),
    ( 12, 310, 'TS-126',  'TS Series', 'ParaCS3'),
    ( 13, 310, 'TS-138',  'TS Series', 'ParaCS3'),
    (256, 310, 'TS-126C', 'TS Series', 'ParaCSX'),
    ( 21, 320, 'TA-240',  'TA Series', 'ParaSD3'),
    ( 22, 320, 'TA-275',  'TA Series', 'ParaSD7'),
    (257, 320, 'TA-275C', 'TA Series', 'ParaSDX');
