select 1 from rdb$database;
-- релиз 4
