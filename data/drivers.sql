-- Drive models. The drive reports its drive code (register 0xFD) and protocol version (0x47);
-- versions below 300 are looked up as 200. When two rows share both keys the first one wins, so
-- keep keys unique. Drive codes 256 and 257 are the models whose digital inputs and outputs are
-- configured through registers 101..120.
--
-- CS: closed-loop stepper drives for 2-phase hybrid motors with a 1000-line encoder.
--     CS-422  24-48 VDC, 2.2 A peak, NEMA 17/23 motors
--     CS-860  24-80 VDC, 6.0 A peak, NEMA 23/24/34 motors (firmware 2.x speaks protocol 200,
--             firmware 3.x protocol 310)
--     CS-880A 20-80 VAC or 30-110 VDC, 8.0 A peak, NEMA 34 motors
--     CS-860X CS-860 power stage with 6 configurable inputs and 3 outputs, RS-485 Modbus
-- SD: AC servo drives, 220 VAC single/three-phase, 2500-line incremental encoder motors.
--     SD-400  400 W
--     SD-750  750 W
--     SD-750X 750 W with 8 configurable inputs, 5 outputs and homing

INSERT INTO DriverTable (DriverCode, ProtocolVerssion, DriverType, Series, ParaTable) VALUES
    ( 11, 200, 'CS-422',  'CS Series', 'ParameterTable'),
    ( 12, 200, 'CS-860',  'CS Series', 'ParameterTable'),
    ( 12, 310, 'CS-860',  'CS Series', 'ParaCS3'),
    ( 13, 310, 'CS-880A', 'CS Series', 'ParaCS3'),
    (256, 310, 'CS-860X', 'CS Series', 'ParaCSX'),
    ( 21, 320, 'SD-400',  'SD Series', 'ParaSD3'),
    ( 22, 320, 'SD-750',  'SD Series', 'ParaSD3'),
    (257, 320, 'SD-750X', 'SD Series', 'ParaSDX');
