procedure Run;
begin
  if X then
  begin
    Y := 's';
  end;
  { comment }
END;
