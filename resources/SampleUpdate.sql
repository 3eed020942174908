/* Update of the Kormant database to release 4: the frame of the update script.
   The full release-4 script takes its place with the script engine. */

SET NAMES WIN1251;
SET SQL DIALECT 3;
SET AUTODDL ON;
RECONNECT;

execute procedure Check_Versio(4);
commit;
reconnect;

/* Функция суммы прописью */
DROP EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS;
DECLARE EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS
    INTEGER, INTEGER
    RETURNS CSTRING(100) FREE_IT
    ENTRY_POINT 'UDF_Integer_In_Words' MODULE_NAME 'quv_udf.DLL';
COMMENT ON EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS IS 'Целое число прописью';
commit;

update Attrs set Versio = 4;
commit;
