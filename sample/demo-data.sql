/* The demo's owner company with one service team linked to it (TYP 'F'), so that the target
   context settles without asking. Run after schema.sql, on a UTF8 connection. */
INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, MIASTO1, F_SERWIS)
  VALUES (1, 'SERWIS KAS', 'Serwis Kas Fiskalnych Sp. z o.o.', 'Łódź', 'T');
INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (1);
INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA, WSPOLNA_EWIDENCJA)
  VALUES (1, 'LDZ', 'Zespół serwisowy Łódź', 'N');
INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) VALUES (1, 1, 'F', 1);
SET GENERATOR GEN_REJESTR_FIRM TO 1;
SET GENERATOR GEN_GRUPY_SERWIS TO 1;
SET GENERATOR GEN_GRUPY_SERWIS_POWIAZANIA TO 1;
COMMIT;
